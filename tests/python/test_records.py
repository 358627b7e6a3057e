"""Reading the API records from Python objects: what is accepted, and the
exact exceptions and chains for what is not."""
import collections.abc
import dataclasses

import pytest

from conftest import app_info, compile_info, create_info
from nkpi import _sys
from nkpi.api import ModuleCompileInfo, ModuleSourceInfo, ModuleSourceType, VersionInfo
from nkpi.api.ext.nklog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT


class Foo:
    pass


class Obj:
    """An object with exactly the attributes given."""

    def __init__(self, **attributes):
        self.__dict__.update(attributes)


def replace_app(**changes):
    return dataclasses.replace(create_info(), application_info=dataclasses.replace(app_info(), **changes))


def read_failure(create_info_object):
    """The message of the TypeError the create call raises; the binding keeps
    only the outermost reading error's text, without a cause."""
    with pytest.raises(TypeError) as info:
        _sys._nk_create_instance(create_info_object)
    assert info.value.__cause__ is None
    return str(info.value)


PREFIX = "Invalid InstanceCreateInfo: "
FIELD = PREFIX + "TypeError: failed to extract field InstanceCreateInfo."


@pytest.mark.parametrize(
    "build, expected",
    [
        (lambda: replace_app(application_version=VersionInfo("1", 0, 0)), FIELD + "application_info"),
        (lambda: replace_app(application_version=VersionInfo(65536, 0, 0)), FIELD + "application_info"),
        (lambda: replace_app(application_version=VersionInfo(0, 0, -1)), FIELD + "application_info"),
        (lambda: replace_app(application_version=Obj(major=1, minor=2)), FIELD + "application_info"),
        (lambda: replace_app(application_name=b"bytes"), FIELD + "application_info"),
        (lambda: replace_app(engine_name=None), FIELD + "application_info"),
        (lambda: dataclasses.replace(create_info(), application_info=None), FIELD + "application_info"),
        (lambda: create_info(extensions=["ok", b"bytes"]), FIELD + "enabled_extensions"),
        (lambda: dataclasses.replace(create_info(), enabled_extensions="abc"), FIELD + "enabled_extensions"),
        (lambda: dataclasses.replace(create_info(), enabled_extensions=42), FIELD + "enabled_extensions"),
        (lambda: create_info(node_id=2**32), FIELD + "node_id"),
        (lambda: create_info(node_id=-1), FIELD + "node_id"),
        (lambda: create_info(node_id=1.0), FIELD + "node_id"),
        (lambda: create_info(ext=[Foo()]), FIELD + "ext"),
        (lambda: create_info(ext=[LogCreateInfoEXT(5, print)]), FIELD + "ext"),
        (lambda: create_info(ext=[LogCreateInfoEXT(LogLevelEXT.INFO, 3)]), FIELD + "ext"),
        (lambda: dataclasses.replace(create_info(), ext="x"), FIELD + "ext"),
    ],
)
def test_create_info_field_errors(build, expected):
    assert read_failure(build()) == expected


def test_missing_attribute_of_the_outermost_record_is_the_attribute_error():
    message = read_failure(object())
    assert message.startswith(PREFIX + "AttributeError: ")
    assert "application_info" in message
    message = read_failure(Obj(application_info=app_info(), enabled_extensions=[]))
    assert message.startswith(PREFIX + "AttributeError: ") and "node_id" in message


def test_attributes_are_read_in_order():
    # Both node_id and ext are bad; the first one in reading order is reported.
    bad = dataclasses.replace(create_info(node_id=-1), ext="x")
    assert read_failure(bad) == FIELD + "node_id"


class Unprintable(Exception):
    def __str__(self):
        raise RuntimeError("no")


def test_str_of_exception_failing():
    class Raising:
        @property
        def application_info(self):
            raise Unprintable()

    assert read_failure(Raising()) == PREFIX + "Unprintable: <exception str() failed>"


def test_unregistered_ext_type_prints_the_known_types(capfd):
    read_failure(create_info(ext=[Foo()]))
    out = capfd.readouterr().out
    assert out == (
        "No loader registered for type 'test_records.Foo'. Possible types are: "
        '["nkpi.api.ext.nklog.LogCreateInfoEXT"]\n'
    )


def test_builtin_ext_type_name_has_no_module(capfd):
    read_failure(create_info(ext=[3]))
    assert capfd.readouterr().out.startswith("No loader registered for type 'int'.")


@pytest.mark.parametrize("sequence", [[], (), collections.deque(), range(0)])
def test_sequences_are_accepted(sequence):
    info = dataclasses.replace(create_info(), enabled_extensions=sequence, ext=sequence)
    assert isinstance(_sys._nk_create_instance(info), _sys.Instance)


def test_sequence_abc_instances_are_accepted():
    class Names(collections.abc.Sequence):
        def __init__(self, *items):
            self.items = items

        def __len__(self):
            return len(self.items)

        def __getitem__(self, index):
            return self.items[index]

    info = dataclasses.replace(create_info(), enabled_extensions=Names(), ext=Names())
    assert isinstance(_sys._nk_create_instance(info), _sys.Instance)


def test_structural_reading_accepts_any_object(instance):
    version = Obj(major=True, minor=2, patch=3)
    app = Obj(application_version=version, application_name="a", engine_version=version, engine_name="e")
    info = Obj(application_info=app, enabled_extensions=(), node_id=7, ext=())
    assert isinstance(_sys._nk_create_instance(info), _sys.Instance)
    source = Obj(source_type=0, filename=None, data="")
    assert isinstance(_sys._nk_compile_module(instance, Obj(sources=[source])), bytes)


COMPILE_PREFIX = "Invalid ModuleCompileInfo: "


@pytest.mark.parametrize(
    "info, expected",
    [
        (object(), None),
        (ModuleCompileInfo("text"), COMPILE_PREFIX + "TypeError: failed to extract field ModuleCompileInfo.sources"),
        (ModuleCompileInfo([ModuleSourceInfo(1, None, "")]),
         COMPILE_PREFIX + "TypeError: failed to extract field ModuleCompileInfo.sources"),
        (ModuleCompileInfo([ModuleSourceInfo(ModuleSourceType.ASSEMBLY, 3, "")]),
         COMPILE_PREFIX + "TypeError: failed to extract field ModuleCompileInfo.sources"),
        (ModuleCompileInfo([Obj(source_type=0, filename=None)]),
         COMPILE_PREFIX + "TypeError: failed to extract field ModuleCompileInfo.sources"),
    ],
)
def test_compile_info_errors(instance, info, expected):
    with pytest.raises(TypeError) as error:
        _sys._nk_compile_module(instance, info)
    assert error.value.__cause__ is None
    if expected is None:
        assert str(error.value).startswith(COMPILE_PREFIX + "AttributeError: ")
    else:
        assert str(error.value) == expected


def test_source_type_and_tuple_of_sources(instance):
    info = ModuleCompileInfo((ModuleSourceInfo(ModuleSourceType.ASSEMBLY, None, ""),))
    assert isinstance(_sys._nk_compile_module(instance, info), bytes)
    assert isinstance(_sys._nk_compile_module(instance, compile_info()), bytes)


def test_logger_extension_record_is_taken():
    info = create_info([LOGGER_EXTENSION_NAME], [LogCreateInfoEXT(LogLevelEXT.ERROR, print)])
    assert isinstance(_sys._nk_create_instance(info), _sys.Instance)
