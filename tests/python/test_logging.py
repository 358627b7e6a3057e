"""The logging extension seen from Python: the record dict, the level filter,
printing without a callback, and callbacks that fail."""
import datetime
import gc
import sys

import pytest

from conftest import Recorder, compile_info, create_info, run_python
from nkpi import _sys
from nkpi.api.ext.nklog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT

KEYS = ["level", "timepoint", "message", "module", "file", "line", "thread_name"]


def logged(level, callback):
    return _sys._nk_create_instance(create_info([LOGGER_EXTENSION_NAME], [LogCreateInfoEXT(level, callback)]))


def test_record_dict_keys_types_and_order(recorder, logged_instance):
    _sys._nk_compile_module(logged_instance, compile_info(""))
    assert recorder.records
    for record in recorder.records:
        assert list(record) == KEYS
        assert type(record["level"]) is int and 0 <= record["level"] <= 4
        assert type(record["timepoint"]) is datetime.datetime and record["timepoint"].tzinfo is None
        assert type(record["message"]) is str
        assert record["module"] in ("nkcore::base", "nkcore::compiler")
        assert record["file"] is None or type(record["file"]) is str
        assert record["line"] is None or type(record["line"]) is int
        assert record["thread_name"] is None or type(record["thread_name"]) is str
    # Engine records carry their source position.
    assert all(r["file"] and r["line"] for r in recorder.records)
    now = datetime.datetime.now()
    assert all(abs((now - r["timepoint"]).total_seconds()) < 60 for r in recorder.records)


def test_creation_and_teardown_records(recorder):
    instance = logged(LogLevelEXT.TRACE, recorder)
    assert recorder.messages()[0].startswith("Instance created successfully at 0x")
    assert recorder.records[0]["level"] == LogLevelEXT.TRACE
    count = len(recorder.records)
    del instance
    gc.collect()
    assert recorder.messages()[count:] == [m for m in recorder.messages()[count:] if m.startswith("Tearing down")]
    assert recorder.messages()[-1].startswith("Tearing down InstanceContext at 0x")


@pytest.mark.parametrize("level", list(LogLevelEXT))
def test_level_filter(level):
    recorder = Recorder()
    instance = logged(level, recorder)
    _sys._nk_compile_module(instance, compile_info(""))
    with pytest.raises(RuntimeError):
        _sys._nk_load_module(instance, b"not a container")
    del instance
    assert all(r["level"] >= level for r in recorder.records)
    if level <= LogLevelEXT.INFO:
        assert any(r["level"] == LogLevelEXT.INFO for r in recorder.records)
    if level == LogLevelEXT.TRACE:
        assert any(r["level"] == LogLevelEXT.TRACE for r in recorder.records)


def test_bound_methods_and_callable_objects_are_accepted():
    class Sink:
        def __init__(self):
            self.count = 0

        def method(self, record):
            self.count += 1

        def __call__(self, record):
            self.count += 1

    sink = Sink()
    logged(LogLevelEXT.TRACE, sink.method)
    logged(LogLevelEXT.TRACE, sink)
    assert sink.count >= 2


def test_without_create_info_every_record_is_printed(capfd):
    instance = _sys._nk_create_instance(create_info([LOGGER_EXTENSION_NAME]))
    _sys._nk_compile_module(instance, compile_info(""))
    del instance
    lines = capfd.readouterr().out.splitlines()
    assert lines
    import re

    pattern = re.compile(r"^\[(Trace|Debug|Info|Warn|Error)\] \d{4}-\d\d-\d\d \d\d:\d\d:\d\d(\.\d+)? - .+")
    assert all(pattern.match(line) for line in lines), lines
    assert lines[0].startswith("[Trace] ") and "Instance created successfully at 0x" in lines[0]


def test_no_logger_no_output(capfd, instance):
    _sys._nk_compile_module(instance, compile_info(""))
    assert capfd.readouterr().out == ""


def test_callback_that_raises_is_reported_and_ignored(monkeypatch):
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    calls = []

    def failing(record):
        calls.append(record["message"])
        raise ValueError("callback broke")

    instance = logged(LogLevelEXT.TRACE, failing)
    data = _sys._nk_compile_module(instance, compile_info(""))
    assert isinstance(data, bytes)
    assert isinstance(_sys._nk_load_module(instance, data), _sys.Module)
    assert calls and len(reports) == len(calls)
    assert all(isinstance(r.exc_value, ValueError) for r in reports)
    assert reports[0].object is failing


def test_callback_runs_while_an_exception_is_pending(recorder):
    # The last Instance going away during unwinding delivers the teardown
    # record; the pending exception must survive it.
    def fail_with_instance():
        instance = logged(LogLevelEXT.TRACE, recorder)  # noqa: F841
        raise KeyError("original")

    with pytest.raises(KeyError, match="original"):
        fail_with_instance()
    gc.collect()
    assert recorder.messages()[-1].startswith("Tearing down InstanceContext")


def test_callable_is_released_with_the_instance():
    import weakref

    class Sink:
        def __call__(self, record):
            pass

    sink = Sink()
    ref = weakref.ref(sink)
    instance = logged(LogLevelEXT.TRACE, sink)
    del sink
    assert ref() is not None
    del instance
    gc.collect()
    assert ref() is None


def test_log_level_five_fails_the_creation():
    with pytest.raises(TypeError) as info:
        logged(5, print)
    assert str(info.value) == "Invalid InstanceCreateInfo: TypeError: failed to extract field InstanceCreateInfo.ext"


def test_callback_on_another_thread_without_crashing():
    # Records made on a thread the interpreter created, with the callback
    # reached while that thread had released the interpreter lock.
    code = """
import threading
from conftest import compile_info, create_info
from nkpi import _sys
from nkpi.api.ext.nklog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT
names = []
inst = _sys._nk_create_instance(create_info([LOGGER_EXTENSION_NAME], [LogCreateInfoEXT(LogLevelEXT.TRACE, lambda r: names.append(r["thread_name"]))]))
t = threading.Thread(target=lambda: _sys._nk_compile_module(inst, compile_info("")), name="worker")
t.start(); t.join()
del inst
print(len(names) > 0)
"""
    result = run_python(code, cwd=str(__import__("pathlib").Path(__file__).parent))
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "True"
