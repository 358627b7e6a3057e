"""The Engine layer of the nkpi package."""
import logging

import pytest

import nkpi
from conftest import VALID_SOURCE
from nkpi.api.ext.nklog import LogLevelEXT


def test_engine_compiles_and_loads(tmp_path):
    path = tmp_path / "a.nkir"
    path.write_text(VALID_SOURCE)
    engine = nkpi.create_instance(node_id=3)
    data = engine.compile_files([path])
    from_string = engine.compile_string(VALID_SOURCE, str(path))
    # Functions get fresh identifiers on every compilation; compare the text.
    assert len(nkpi._sys._nk_disassemble_module(data)) == len(nkpi._sys._nk_disassemble_module(from_string))
    assert isinstance(engine.load(bytearray(data)), nkpi.Module)
    (tmp_path / "a.nkmod").write_bytes(data)
    assert isinstance(engine.load_file(tmp_path / "a.nkmod"), nkpi.Module)
    assert isinstance(nkpi.compile_files([path]), bytes)
    kept_engine, module = nkpi.load(data)
    assert isinstance(kept_engine, nkpi.Engine) and isinstance(module, nkpi.Module)


def test_forward_logs_to_logging(caplog):
    caplog.set_level(logging.DEBUG, logger="nkpi")
    engine = nkpi.Engine(log_level="info", forward_logs=True)
    engine.compile_string(VALID_SOURCE, "a.nkir")
    assert caplog.records
    assert all(r.name.startswith("nkpi.nkcore.") for r in caplog.records)
    assert all(r.levelno >= logging.INFO for r in caplog.records)
    assert all(r.nk_record["level"] >= LogLevelEXT.INFO for r in caplog.records)


def test_log_callback_with_level():
    records = []
    engine = nkpi.Engine(log_level=LogLevelEXT.TRACE, log_callback=records.append)
    engine.compile_string(VALID_SOURCE)
    assert any(r["level"] == LogLevelEXT.TRACE for r in records)


def test_log_level_without_callback_prints(capfd):
    nkpi.Engine(log_level="error").compile_string(VALID_SOURCE)
    assert capfd.readouterr().out == ""
    nkpi.Engine(log_level="trace").compile_string(VALID_SOURCE)
    assert capfd.readouterr().out.startswith("[Trace] ")


@pytest.mark.parametrize("value, expected", [("warning", LogLevelEXT.WARN), ("Info", LogLevelEXT.INFO), (0, LogLevelEXT.TRACE)])
def test_parse_log_level(value, expected):
    assert nkpi.parse_log_level(value) is expected


def test_bad_options():
    with pytest.raises(ValueError):
        nkpi.parse_log_level("loud")
    with pytest.raises(ValueError):
        nkpi.Engine(log_callback=print, forward_logs=True)
