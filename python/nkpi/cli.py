"""The ``nkpi`` command: compile assembly sources, check and load compiled
modules, print them back as assembly, and run the whole chain with the
engine's log on screen."""
from __future__ import annotations

import argparse
import os
import sys
from typing import Callable, List, Optional, Sequence

from . import _sys
from .api import ModuleSourceInfo
from .api.ext.nklog import LogLevelEXT, LogRecordDict
from .diagnostics import parse_parser_errors, render
from .engine import Engine, read_sources

__all__ = ["main"]

_LEVEL_CHOICES = ["trace", "debug", "info", "warn", "error", "off"]
_FAILED_SOURCE = 'Failed to compile assembly source "'


class _LogPrinter:
    """Prints records at or above the chosen level to standard error and keeps
    the name of a source the compiler reported as failing."""

    def __init__(self, level: str) -> None:
        self.print_level: Optional[LogLevelEXT] = None if level == "off" else LogLevelEXT[level.upper()]
        self.failed_source_record: Optional[str] = None

    @property
    def engine_level(self) -> LogLevelEXT:
        # Error records are always needed to tell which source failed.
        return min(self.print_level, LogLevelEXT.ERROR) if self.print_level is not None else LogLevelEXT.ERROR

    def __call__(self, record: LogRecordDict) -> None:
        level = LogLevelEXT(record["level"])
        if level == LogLevelEXT.ERROR and record["message"].startswith(_FAILED_SOURCE):
            self.failed_source_record = record["message"]
        if self.print_level is not None and level >= self.print_level:
            stamp = record["timepoint"].isoformat(sep=" ", timespec="microseconds")
            print(
                f"[{level.name.capitalize()}] {stamp} {record['module']} - {record['message']}",
                file=sys.stderr,
                flush=True,
            )

    def failed_source(self, sources: Sequence[ModuleSourceInfo]) -> Optional[ModuleSourceInfo]:
        if self.failed_source_record is None:
            return sources[0] if len(sources) == 1 else None
        for source in sources:
            if self.failed_source_record.startswith(f'{_FAILED_SOURCE}{source.filename}": '):
                return source
        return None


class CommandError(Exception):
    """A failure already worded for the user."""


def _engine(args: argparse.Namespace) -> Engine:
    printer = _LogPrinter(args.log_level)
    engine = Engine(application_name="nkpi-cli", log_level=printer.engine_level, log_callback=printer)
    engine.printer = printer  # type: ignore[attr-defined]
    return engine


def _compile(engine: Engine, paths: Sequence[str]) -> bytes:
    try:
        sources = read_sources(paths)
    except (OSError, UnicodeDecodeError) as error:
        raise CommandError(f"cannot read source: {error}") from None
    try:
        return engine.compile(sources)
    except RuntimeError as error:
        raise CommandError(_explain_compile_error(str(error), sources, engine.printer)) from None  # type: ignore[attr-defined]


def _explain_compile_error(text: str, sources: Sequence[ModuleSourceInfo], printer: _LogPrinter) -> str:
    diagnostics = parse_parser_errors(text)
    source = printer.failed_source(sources)
    if not diagnostics or source is None:
        return text
    name = source.filename or "<unnamed>"
    shown = [render(name, source.data, d) for d in diagnostics]
    plural = "s" if len(diagnostics) != 1 else ""
    return "\n".join(shown) + f"\n{len(diagnostics)} error{plural} in {name}"


def _read_container(path: str) -> bytes:
    try:
        with open(path, "rb") as handle:
            return handle.read()
    except OSError as error:
        raise CommandError(f"cannot read {path}: {error.strerror or error}") from None


def _load(engine: Engine, data: bytes) -> _sys.Module:
    try:
        return engine.load(data)
    except RuntimeError as error:
        raise CommandError(str(error)) from None


def cmd_compile(args: argparse.Namespace) -> None:
    output = args.output or os.path.splitext(args.sources[0])[0] + ".nkmod"
    data = _compile(_engine(args), args.sources)
    try:
        with open(output, "wb") as handle:
            handle.write(data)
    except OSError as error:
        raise CommandError(f"cannot write {output}: {error.strerror or error}") from None
    print(f"compiled {len(args.sources)} source(s) into {output} ({len(data)} bytes)")


def cmd_load(args: argparse.Namespace) -> None:
    data = _read_container(args.module)
    _load(_engine(args), data)
    print(f"{args.module}: loaded ({len(data)} bytes)")


def cmd_disasm(args: argparse.Namespace) -> None:
    data = _read_container(args.module)
    try:
        text = _sys._nk_disassemble_module(data)
    except RuntimeError as error:
        raise CommandError(str(error)) from None
    sys.stdout.write(text if text.endswith("\n") or not text else text + "\n")


def cmd_run(args: argparse.Namespace) -> None:
    engine = _engine(args)
    data = _compile(engine, args.sources)
    _load(engine, data)
    print(f"compiled and loaded {', '.join(args.sources)} ({len(data)} bytes of compiled module)")


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="nkpi", description=__doc__)
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    def add(
        name: str, handler: Callable[[argparse.Namespace], None], help: str, log_level: str = "off"
    ) -> argparse.ArgumentParser:
        sub = commands.add_parser(name, help=help, description=help)
        sub.set_defaults(handler=handler)
        sub.add_argument(
            "--log-level",
            choices=_LEVEL_CHOICES,
            default=log_level,
            help=f"show engine log records at this level and above, on standard error (default: {log_level})",
        )
        return sub

    sub = add("compile", cmd_compile, "compile assembly sources into one compiled module")
    sub.add_argument("sources", nargs="+", metavar="SOURCE.nkir")
    sub.add_argument("-o", "--output", metavar="OUT.nkmod", help="default: the first source with .nkmod")
    sub = add("load", cmd_load, "check a compiled module by loading it into a fresh instance")
    sub.add_argument("module", metavar="MODULE.nkmod")
    sub = add("disasm", cmd_disasm, "print a compiled module as assembly text")
    sub.add_argument("module", metavar="MODULE.nkmod")
    sub = add("run", cmd_run, "compile sources, then load the result into the same instance", log_level="info")
    sub.add_argument("sources", nargs="+", metavar="SOURCE.nkir")
    return parser


def main(argv: Optional[List[str]] = None) -> int:
    args = _parser().parse_args(argv)
    try:
        args.handler(args)
    except CommandError as error:
        sys.stdout.flush()
        print(f"nkpi: error: {error}" if "\n" not in str(error) else str(error), file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
    return 0


if __name__ == "__main__":  # pragma: no cover
    sys.exit(main())
