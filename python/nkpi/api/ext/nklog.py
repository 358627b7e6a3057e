"""The logging extension: delivers an instance's log records, filtered by
level, to a Python callable (or, without a ``LogCreateInfoEXT``, to standard
output)."""
from __future__ import annotations

import datetime
from dataclasses import dataclass
from enum import IntEnum
from typing import Callable, Optional

try:  # Python 3.8+: typing.TypedDict
    from typing import TypedDict
except ImportError:  # pragma: no cover
    TypedDict = dict  # type: ignore[misc,assignment]

__all__ = ["LOGGER_EXTENSION_NAME", "LogLevelEXT", "LogRecordDict", "LogCallbackEXT", "LogCreateInfoEXT"]

#: The name to list in ``InstanceCreateInfo.enabled_extensions``.
LOGGER_EXTENSION_NAME = "__EXT_nimbrask_logger"


class LogLevelEXT(IntEnum):
    TRACE = 0
    DEBUG = 1
    INFO = 2
    WARN = 3
    ERROR = 4


class LogRecordDict(TypedDict):
    """The one argument of a log callback; keys in this order."""

    level: int
    timepoint: datetime.datetime  # local time, no time zone, microseconds
    message: str
    module: str  # "nkcore::base", "nkcore::compiler"
    file: Optional[str]
    line: Optional[int]
    thread_name: Optional[str]


LogCallbackEXT = Callable[[LogRecordDict], object]


@dataclass
class LogCreateInfoEXT:
    """Create-info record of the logging extension: records at ``level`` and
    above go to ``callback``. The callback runs on the thread that emitted the
    record; an exception it raises is reported through ``sys.unraisablehook``
    and does not disturb the engine."""

    level: LogLevelEXT
    callback: LogCallbackEXT
