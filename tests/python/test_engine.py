"""Creating instances, compiling and loading through nkpi._sys, the errors of
each step, and who keeps an instance alive."""
import gc
import re

import pytest

from conftest import VALID_SOURCE, compile_info, create_info
from nkpi import _sys
from nkpi.api.ext.nklog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT

KEY = re.compile(r"ModuleContext inserted into InstanceContext with key (ModuleKey\(\d+v\d+\))")


def keys(recorder):
    return [m.group(1) for m in map(KEY.search, recorder.messages()) if m]


def test_compile_then_load(logged_instance, recorder):
    data = _sys._nk_compile_module(logged_instance, compile_info(VALID_SOURCE))
    assert isinstance(data, bytes) and data
    first = _sys._nk_load_module(logged_instance, data)
    second = _sys._nk_load_module(instance=logged_instance, module_data=data)
    assert type(first) is _sys.Module and type(second) is _sys.Module
    assert keys(recorder) == ["ModuleKey(1v1)", "ModuleKey(2v1)"]


def test_sources_compile_into_one_container(instance):
    one = _sys._nk_compile_module(instance, compile_info(VALID_SOURCE))
    two_files = _sys._nk_compile_module(
        instance, compile_info("define void a() {\nentry:\n  ret void\n}\n", "define void b() {\nentry:\n  ret void\n}\n")
    )
    assert isinstance(_sys._nk_load_module(instance, one), _sys.Module)
    assert isinstance(_sys._nk_load_module(instance, two_files), _sys.Module)


def test_bytes_subclass_is_accepted(instance):
    class Blob(bytes):
        pass

    data = _sys._nk_compile_module(instance, compile_info(VALID_SOURCE))
    assert isinstance(_sys._nk_load_module(instance, Blob(data)), _sys.Module)


@pytest.mark.parametrize("data", [bytearray(b"abc"), memoryview(b"abc"), "abc", None])
def test_module_data_must_be_bytes(instance, data):
    with pytest.raises(TypeError, match=r"^argument 'module_data': "):
        _sys._nk_load_module(instance, data)


@pytest.mark.parametrize("data", [b"", b"not a container", b"\x00" * 64])
def test_load_errors(instance, data):
    with pytest.raises(RuntimeError) as info:
        _sys._nk_load_module(instance, data)
    assert str(info.value).startswith("Failed to load compiled module: ")
    assert len(str(info.value)) > len("Failed to load compiled module: ")
    assert info.value.__cause__ is None


def test_truncated_containers_never_crash(instance):
    data = _sys._nk_compile_module(instance, compile_info(VALID_SOURCE))
    for cut in range(0, len(data), max(1, len(data) // 40)):
        with pytest.raises(RuntimeError, match="^Failed to load compiled module: "):
            _sys._nk_load_module(instance, data[:cut])


@pytest.mark.parametrize("function", ["_nk_compile_module", "_nk_load_module"])
@pytest.mark.parametrize("value", [None, 3, _sys.Module])
def test_instance_argument_must_be_an_instance(function, value):
    with pytest.raises(TypeError, match=r"^argument 'instance': "):
        getattr(_sys, function)(value, b"" if function == "_nk_load_module" else compile_info())


def test_compile_errors(instance):
    with pytest.raises(RuntimeError) as info:
        _sys._nk_compile_module(instance, compile_info("define void f() {\nentry:\n  @@\n}\n"))
    message = str(info.value)
    assert message.startswith("Failed to compile module: Parser errors occurred: [ParserError { ")
    assert info.value.__cause__ is None


def test_unknown_extension():
    with pytest.raises(RuntimeError) as info:
        _sys._nk_create_instance(create_info(["__EXT_missing"]))
    assert str(info.value) == "Failed to create instance: Plugin with name '__EXT_missing' not found"


def test_module_outlives_its_instance(recorder):
    instance = _sys._nk_create_instance(
        create_info([LOGGER_EXTENSION_NAME], [LogCreateInfoEXT(LogLevelEXT.TRACE, recorder)])
    )
    module = _sys._nk_load_module(instance, _sys._nk_compile_module(instance, compile_info(VALID_SOURCE)))
    del instance
    gc.collect()
    # The Module did not keep the instance: it was torn down, exactly once.
    teardowns = [m for m in recorder.messages() if m.startswith("Tearing down InstanceContext at 0x")]
    assert len(teardowns) == 1
    assert recorder.messages()[-1] == teardowns[0]
    del module
    gc.collect()
    assert len([m for m in recorder.messages() if m.startswith("Tearing down")]) == 1


def test_no_teardown_while_a_python_reference_remains(recorder):
    instance = _sys._nk_create_instance(
        create_info([LOGGER_EXTENSION_NAME], [LogCreateInfoEXT(LogLevelEXT.TRACE, recorder)])
    )
    holders = [instance, instance]
    del instance
    holders.pop()
    gc.collect()
    assert not any(m.startswith("Tearing down") for m in recorder.messages())
    holders.clear()
    assert recorder.messages()[-1].startswith("Tearing down InstanceContext at 0x")


def functions_of(text):
    return sorted(chunk.strip() for chunk in text.split("\n}\n") if chunk.strip())


def test_disassemble_round_trip(instance):
    data = _sys._nk_compile_module(instance, compile_info(VALID_SOURCE))
    text = _sys._nk_disassemble_module(data)
    assert "twice" in text and "count" in text
    # Functions get fresh identifiers, and are printed in identifier order.
    again = _sys._nk_compile_module(instance, compile_info(text))
    assert functions_of(_sys._nk_disassemble_module(again)) == functions_of(text)
    with pytest.raises(RuntimeError, match="^Failed to disassemble module: "):
        _sys._nk_disassemble_module(b"junk")
    with pytest.raises(TypeError, match="^argument 'module_data': "):
        _sys._nk_disassemble_module(bytearray(data))
