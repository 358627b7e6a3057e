"""A friendlier face over ``nkpi._sys``: an ``Engine`` owns one instance and
compiles and loads modules with it, optionally forwarding its log records to
the ``logging`` module."""
from __future__ import annotations

import logging
import os
from typing import Callable, Iterable, List, Optional, Sequence, Tuple, Union

from . import _sys
from .api import (
    ApplicationInfo,
    InstanceCreateInfo,
    ModuleCompileInfo,
    ModuleSourceInfo,
    ModuleSourceType,
    VersionInfo,
)
from .api.ext.nklog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT, LogRecordDict

__all__ = [
    "ENGINE_NAME",
    "ENGINE_VERSION",
    "Engine",
    "create_instance",
    "logging_callback",
    "parse_log_level",
]

ENGINE_NAME = "nimbrask"
ENGINE_VERSION = VersionInfo(0, 1, 2)

#: ``logging`` level used for the engine's Trace records (below DEBUG).
TRACE = 5
logging.addLevelName(TRACE, "TRACE")

_TO_LOGGING = {
    LogLevelEXT.TRACE: TRACE,
    LogLevelEXT.DEBUG: logging.DEBUG,
    LogLevelEXT.INFO: logging.INFO,
    LogLevelEXT.WARN: logging.WARNING,
    LogLevelEXT.ERROR: logging.ERROR,
}

LogLevelLike = Union[LogLevelEXT, int, str]
PathLike = Union[str, "os.PathLike[str]"]


def parse_log_level(level: LogLevelLike) -> LogLevelEXT:
    """A ``LogLevelEXT`` from itself, its number or its name ("trace", "warn", ...)."""
    if isinstance(level, str):
        name = level.strip().upper()
        if name == "WARNING":
            name = "WARN"
        try:
            return LogLevelEXT[name]
        except KeyError:
            raise ValueError(f"unknown log level {level!r}") from None
    return LogLevelEXT(level)


def logging_callback(logger: Optional[logging.Logger] = None) -> Callable[[LogRecordDict], None]:
    """A log callback handing every record to ``logger`` (default: the logger
    named after the record's module, "nkcore::base" becoming "nkpi.nkcore.base")."""

    def forward(record: LogRecordDict) -> None:
        target = logger or logging.getLogger("nkpi." + record["module"].replace("::", "."))
        level = _TO_LOGGING.get(LogLevelEXT(record["level"]), logging.ERROR)
        if target.isEnabledFor(level):
            target.log(level, "%s", record["message"], extra={"nk_record": record})

    return forward


class Engine:
    """One engine instance and the operations on it.

    ``log_level`` enables the logging extension; ``log_callback`` receives the
    records (a ``LogRecordDict``), ``forward_logs`` sends them to ``logging``
    instead; with neither, the engine prints them to standard output.
    """

    def __init__(
        self,
        *,
        application_name: str = "nkpi",
        application_version: VersionInfo = VersionInfo(0, 1, 0),
        node_id: int = 0,
        log_level: Optional[LogLevelLike] = None,
        log_callback: Optional[Callable[[LogRecordDict], object]] = None,
        forward_logs: bool = False,
    ) -> None:
        if forward_logs:
            if log_callback is not None:
                raise ValueError("give either log_callback or forward_logs, not both")
            log_callback = logging_callback()
        extensions: List[str] = []
        ext: List[object] = []
        if log_level is not None or log_callback is not None:
            extensions.append(LOGGER_EXTENSION_NAME)
            if log_callback is not None:
                level = parse_log_level(log_level if log_level is not None else LogLevelEXT.INFO)
                ext.append(LogCreateInfoEXT(level, log_callback))
            elif parse_log_level(log_level) != LogLevelEXT.TRACE:  # type: ignore[arg-type]
                # Printing to standard output has no level filter of its own.
                ext.append(LogCreateInfoEXT(parse_log_level(log_level), _print_record))  # type: ignore[arg-type]
        info = InstanceCreateInfo(
            ApplicationInfo(application_version, application_name, ENGINE_VERSION, ENGINE_NAME),
            extensions,
            node_id,
            ext,
        )
        self.instance: _sys.Instance = _sys._nk_create_instance(info)

    def compile(self, sources: Iterable[ModuleSourceInfo]) -> bytes:
        """Compiles the sources into one compiled module container."""
        return _sys._nk_compile_module(self.instance, ModuleCompileInfo(list(sources)))

    def compile_string(self, text: str, filename: Optional[str] = None) -> bytes:
        return self.compile([ModuleSourceInfo(ModuleSourceType.ASSEMBLY, filename, text)])

    def compile_files(self, paths: Sequence[PathLike]) -> bytes:
        return self.compile(read_sources(paths))

    def load(self, module_data: bytes) -> _sys.Module:
        """Loads a compiled module container into this engine's instance."""
        return _sys._nk_load_module(self.instance, bytes(module_data))

    def load_file(self, path: PathLike) -> _sys.Module:
        with open(path, "rb") as handle:
            return self.load(handle.read())


def _print_record(record: LogRecordDict) -> None:
    level = LogLevelEXT(record["level"]).name.capitalize()
    print(f"[{level}] {record['timepoint']} - {record['message']}", flush=True)


def read_sources(paths: Sequence[PathLike]) -> List[ModuleSourceInfo]:
    """Assembly sources read from files (UTF-8), named by their paths."""
    sources = []
    for path in paths:
        with open(path, encoding="utf-8") as handle:
            sources.append(ModuleSourceInfo(ModuleSourceType.ASSEMBLY, os.fspath(path), handle.read()))
    return sources


def create_instance(**options: object) -> Engine:
    """``Engine(**options)``."""
    return Engine(**options)  # type: ignore[arg-type]


def compile_string(text: str, filename: Optional[str] = None, **options: object) -> bytes:
    """Compiles one source with a throw-away engine."""
    return create_instance(**options).compile_string(text, filename)


def compile_files(paths: Sequence[PathLike], **options: object) -> bytes:
    """Compiles files with a throw-away engine."""
    return create_instance(**options).compile_files(paths)


def load(module_data: bytes, engine: Optional[Engine] = None) -> Tuple[Engine, _sys.Module]:
    """Loads a container into ``engine`` (default: a new one); returns both, as
    a ``Module`` does not keep its instance alive."""
    engine = engine or create_instance()
    return engine, engine.load(module_data)
