"""The records a caller fills in to create an instance and to compile sources.

The native module reads these objects attribute by attribute, so any object
with the same attributes would do; the dataclasses are the documented form.
"""
from __future__ import annotations

from dataclasses import dataclass, field
from enum import IntEnum
from typing import Any, List, Optional

__all__ = [
    "VersionInfo",
    "ApplicationInfo",
    "ModuleSourceType",
    "ModuleSourceInfo",
    "ModuleCompileInfo",
    "InstanceCreateInfo",
]


@dataclass(frozen=True)
class VersionInfo:
    """A major.minor.patch version; each part from 0 to 65535."""

    major: int = 0
    minor: int = 0
    patch: int = 0

    def __str__(self) -> str:
        return f"{self.major}.{self.minor}.{self.patch}"


@dataclass
class ApplicationInfo:
    """Who creates an instance, and for which engine."""

    application_version: VersionInfo
    application_name: str
    engine_version: VersionInfo
    engine_name: str


class ModuleSourceType(IntEnum):
    """The language of a source; assembly text is the only one."""

    ASSEMBLY = 0


@dataclass
class ModuleSourceInfo:
    """One source to compile: its language, an optional file name and the text."""

    source_type: ModuleSourceType
    filename: Optional[str]
    data: str


@dataclass
class ModuleCompileInfo:
    """The sources compiled together into one module, in order."""

    sources: List[ModuleSourceInfo] = field(default_factory=list)


@dataclass
class InstanceCreateInfo:
    """What an instance is created from.

    ``enabled_extensions`` names the extensions to enable (for example
    ``nkpi.api.ext.nklog.LOGGER_EXTENSION_NAME``); ``ext`` holds their
    create-info records (for example a ``LogCreateInfoEXT``).
    """

    application_info: ApplicationInfo
    enabled_extensions: List[str] = field(default_factory=list)
    node_id: int = 0
    ext: List[Any] = field(default_factory=list)
