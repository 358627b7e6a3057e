"""Turns the parser errors inside an engine error text back into positions in
the sources: ``file:line:col: message``, the source line and a caret."""
from __future__ import annotations

import re
from dataclasses import dataclass
from typing import List, Optional, Tuple

__all__ = ["ParserDiagnostic", "parse_parser_errors", "locate", "render"]

_DEBUG_STRING = r'"((?:[^"\\]|\\.)*)"'
_PARSER_ERROR = re.compile(
    r"ParserError \{ file: (?:None|Some\(" + _DEBUG_STRING + r"\)), "
    r"start: (\d+), end: (\d+), message: " + _DEBUG_STRING + r" \}"
)
_ESCAPE = re.compile(r"\\(u\{([0-9a-fA-F]{1,6})\}|.)", re.S)
_SIMPLE_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "0": "\0"}


@dataclass
class ParserDiagnostic:
    file: Optional[str]
    start: int  # byte offsets into the source's UTF-8 text
    end: int
    message: str


def _unescape(text: str) -> str:
    def replace(match: "re.Match[str]") -> str:
        if match.group(2):
            return chr(int(match.group(2), 16))
        char = match.group(1)
        return _SIMPLE_ESCAPES.get(char, char)

    return _ESCAPE.sub(replace, text)


def parse_parser_errors(error_text: str) -> List[ParserDiagnostic]:
    """Every ``ParserError { ... }`` entry of an engine error text, in order."""
    return [
        ParserDiagnostic(
            file=_unescape(m.group(1)) if m.group(1) is not None else None,
            start=int(m.group(2)),
            end=int(m.group(3)),
            message=_unescape(m.group(4)),
        )
        for m in _PARSER_ERROR.finditer(error_text)
    ]


def locate(source: str, start: int, end: int) -> Tuple[int, int, str, int]:
    """(line, column, line text, caret width) for a byte span of ``source``.

    Spans include the spacing around their tokens, so the reported position is
    the first non-blank byte of the span. Offsets past the end clamp to it;
    columns count characters, both from 1.
    """
    data = source.encode("utf-8")
    start = max(0, min(start, len(data)))
    end = max(start, min(end, len(data)))
    while start < end and data[start : start + 1].isspace():
        start += 1
    while end > start and data[end - 1 : end].isspace():
        end -= 1
    # Never point into the middle of a UTF-8 sequence.
    while 0 < start < len(data) and (data[start] & 0xC0) == 0x80:
        start -= 1
    line_start = data.rfind(b"\n", 0, start) + 1
    line_end = data.find(b"\n", start)
    if line_end < 0:
        line_end = len(data)
    line = data.count(b"\n", 0, start) + 1
    prefix = data[line_start:start].decode("utf-8", "replace")
    marked = data[start : min(end, line_end)].decode("utf-8", "replace")
    text = data[line_start:line_end].decode("utf-8", "replace").rstrip("\r")
    return line, len(prefix) + 1, text, max(1, len(marked))


def render(filename: str, source: str, diagnostic: ParserDiagnostic) -> str:
    """Three lines: ``file:line:col: message``, the source line, the caret."""
    line, column, text, width = locate(source, diagnostic.start, diagnostic.end)
    prefix = text[: column - 1]
    # Keep tabs so the caret lines up under the same characters.
    pad = "".join(c if c == "\t" else " " for c in prefix)
    caret = "^" + "~" * (width - 1)
    return f"{filename}:{line}:{column}: {diagnostic.message}\n{text}\n{pad}{caret}"
