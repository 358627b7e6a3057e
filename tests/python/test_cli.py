"""The nkpi command (run as `python -m nkpi`) and the mapping of parser error
offsets back to source lines."""
import re
import subprocess
import sys

import pytest

from conftest import ROOT, VALID_SOURCE
from nkpi.diagnostics import ParserDiagnostic, locate, parse_parser_errors, render


def nkpi(*args, cwd):
    return subprocess.run(
        [sys.executable, "-m", "nkpi", *map(str, args)], cwd=cwd, capture_output=True, text=True, timeout=120
    )


@pytest.fixture
def sources(tmp_path):
    (tmp_path / "a.nkir").write_text(VALID_SOURCE)
    (tmp_path / "b.nkir").write_text("define void other() {\nentry:\n  ret void\n}\n")
    return tmp_path


def test_compile_load_disasm(sources):
    result = nkpi("compile", "a.nkir", "b.nkir", "-o", "out.nkmod", cwd=sources)
    assert result.returncode == 0, result.stderr
    data = (sources / "out.nkmod").read_bytes()
    assert data and f"({len(data)} bytes)" in result.stdout

    result = nkpi("load", "out.nkmod", cwd=sources)
    assert result.returncode == 0, result.stderr
    assert "out.nkmod: loaded" in result.stdout

    result = nkpi("disasm", "out.nkmod", cwd=sources)
    assert result.returncode == 0, result.stderr
    for name in ("twice", "count", "other"):
        assert name in result.stdout


def test_compile_default_output_name(sources):
    assert nkpi("compile", "a.nkir", cwd=sources).returncode == 0
    assert (sources / "a.nkmod").is_file()


def test_run_shows_the_engine_log():
    result = nkpi("run", "examples/fib.nkir", "--log-level", "trace", cwd=ROOT)
    assert result.returncode == 0, result.stderr
    assert "[Trace] " in result.stderr
    assert "Instance created successfully at 0x" in result.stderr
    assert "ModuleContext inserted into InstanceContext with key ModuleKey(1v1)" in result.stderr
    assert "compiled and loaded examples/fib.nkir" in result.stdout


def test_log_level_filters(sources):
    result = nkpi("run", "a.nkir", "--log-level", "info", cwd=sources)
    assert result.returncode == 0, result.stderr
    assert "[Trace]" not in result.stderr and "[Info]" in result.stderr
    for quiet in (["--log-level", "off"], []):
        result = nkpi("compile", "a.nkir", *quiet, cwd=sources)
        assert result.returncode == 0 and result.stderr == ""


def test_parse_error_points_at_the_source(sources):
    (sources / "bad.nkir").write_text("define void f() {\nentry:\n  ret void @@\n}\n")
    result = nkpi("compile", "a.nkir", "bad.nkir", cwd=sources)
    assert result.returncode == 1
    lines = result.stderr.splitlines()
    assert re.fullmatch(r"\d+ errors? in bad.nkir", lines[-1])
    assert lines[0].startswith("bad.nkir:3:")
    assert lines[1] == "  ret void @@"
    column = int(lines[0].split(":")[2])
    assert lines[2].index("^") == column - 1
    assert "@" in lines[1][column - 1 :]
    assert not (sources / "a.nkmod").exists()


@pytest.mark.parametrize(
    "args, expected",
    [
        (("load", "junk.nkmod"), "nkpi: error: Failed to load compiled module: "),
        (("disasm", "junk.nkmod"), "nkpi: error: Failed to disassemble module: "),
        (("load", "missing.nkmod"), "nkpi: error: cannot read missing.nkmod: "),
        (("compile", "missing.nkir"), "nkpi: error: cannot read source: "),
    ],
)
def test_failures_exit_with_one(tmp_path, args, expected):
    (tmp_path / "junk.nkmod").write_bytes(b"junk")
    result = nkpi(*args, cwd=tmp_path)
    assert result.returncode == 1
    assert result.stderr.startswith(expected), result.stderr


def test_usage_errors_exit_with_two(tmp_path):
    assert nkpi(cwd=tmp_path).returncode == 2
    assert nkpi("run", cwd=tmp_path).returncode == 2
    assert nkpi("run", "x.nkir", "--log-level", "loud", cwd=tmp_path).returncode == 2


def test_parse_parser_errors_reads_every_entry():
    text = (
        "Failed to compile module: Parser errors occurred: ["
        'ParserError { file: None, start: 3, end: 9, message: "found \'@\' expected \\"x\\", or \\\\" }, '
        'ParserError { file: Some("a \\"b\\".nkir"), start: 10, end: 12, message: "tab\\there \\u{e9}" }]'
    )
    assert parse_parser_errors(text) == [
        ParserDiagnostic(None, 3, 9, 'found \'@\' expected "x", or \\'),
        ParserDiagnostic('a "b".nkir', 10, 12, "tab\there \u00e9"),
    ]
    assert parse_parser_errors("Type mismatch in instruction `x`") == []


@pytest.mark.parametrize(
    "source, start, end, expected",
    [
        ("abc\ndef\n", 4, 7, (2, 1, "def", 3)),
        # Spans include the spacing around their tokens.
        ("abc\n   def  \n", 3, 13, (2, 4, "   def  ", 3)),
        # Columns count characters, offsets count bytes.
        ("é = @\n", 5, 6, (1, 5, "é = @", 1)),
        # Past the end: clamped to the end of the source.
        ("abc", 50, 60, (1, 4, "abc", 1)),
        ("x\r\ny @", 5, 6, (2, 3, "y @", 1)),
    ],
)
def test_locate(source, start, end, expected):
    assert locate(source, start, end) == expected


def test_render():
    text = render("f.nkir", "a\n\tb @@ c\n", ParserDiagnostic(None, 4, 7, "bad"))
    assert text == "f.nkir:2:4: bad\n\tb @@ c\n\t  ^~"
