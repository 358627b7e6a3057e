#include "nkpi_sys/functions.hpp"

#include <cstdint>
#include <span>
#include <string>

#include "nkcore/nkcore.hpp"
#include "nkpi_sys/classes.hpp"
#include "nkpi_sys/errors.hpp"
#include "nkpi_sys/readers.hpp"

namespace nkpi_sys {

namespace {

// ---- argument checks ------------------------------------------------------

PyObject* argument_error(const char* argument, const std::string& message) {
    return raise_error(PyExc_TypeError, std::string("argument '") + argument + "': " + message);
}

const nkcore::InstanceRef* instance_argument(PyObject* value) {
    const nkcore::InstanceRef* instance = instance_of(value);
    if (!instance) argument_error("instance", object_type_name(value) + " cannot be converted to 'Instance'");
    return instance;
}

bool module_data_argument(PyObject* value) {
    if (PyBytes_Check(value)) return true;
    argument_error("module_data", object_type_name(value) + " cannot be converted to 'PyBytes'");
    return false;
}

std::span<const std::uint8_t> bytes_view(PyObject* bytes) {
    return {reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(bytes)),
            static_cast<std::size_t>(PyBytes_GET_SIZE(bytes))};
}

// Reads `n` through the index protocol as an unsigned 64-bit value. A value
// that is no integer raises TypeError "argument 'n': ..."; a negative or too
// large one keeps the interpreter's OverflowError.
bool u64_argument(PyObject* value, std::uint64_t& out) {
    PyRef index = PyRef::steal(PyNumber_Index(value));
    if (!index) {
        PyRef error = fetch_exception();
        argument_error("n", error ? exception_message(error.get()) : std::string("not an integer"));
        return false;
    }
    out = PyLong_AsUnsignedLongLong(index.get());
    return !PyErr_Occurred();
}

PyObject* integer_overflow() { return raise_error(PyExc_OverflowError, "integer overflow"); }

PyObject* raise_engine_error(const char* prefix, const nkcore::NkError& error) {
    return raise_error(PyExc_RuntimeError, prefix + error.message());
}

// ---- functions ------------------------------------------------------------

PyObject* nk_create_instance(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"instance_create_info", nullptr};
    PyObject* create_info = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:_nk_create_instance", const_cast<char**>(keywords),
                                     &create_info))
        return nullptr;
    static constexpr const char* failure = "Failed to create instance: ";
    return guard_entry(failure, [&]() -> PyObject* {
        std::optional<nkcore::InstanceCreateInfo> info = read_instance_create_info(create_info);
        if (!info) {
            raise_flattened(PyExc_TypeError, "Invalid InstanceCreateInfo: ");
            return nullptr;
        }
        std::optional<nkcore::NkResult<nkcore::InstanceRef>> created;
        {
            GilRelease unlocked;
            created.emplace(nkcore::create_instance(std::move(*info)));
        }
        if (!created->ok()) return raise_engine_error(failure, created->error());
        return wrap_instance(std::move(created->value()));
    });
}

PyObject* nk_compile_module(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"instance", "compile_info", nullptr};
    PyObject* instance_arg = nullptr;
    PyObject* compile_info = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:_nk_compile_module", const_cast<char**>(keywords),
                                     &instance_arg, &compile_info))
        return nullptr;
    static constexpr const char* failure = "Failed to compile module: ";
    return guard_entry(failure, [&]() -> PyObject* {
        const nkcore::InstanceRef* held = instance_argument(instance_arg);
        if (!held) return nullptr;
        std::optional<nkcore::ModuleCompileInfo> info = read_module_compile_info(compile_info);
        if (!info) {
            raise_flattened(PyExc_TypeError, "Invalid ModuleCompileInfo: ");
            return nullptr;
        }
        nkcore::InstanceRef instance = *held;  // the call's own strong reference
        std::optional<nkcore::NkResult<std::vector<std::uint8_t>>> compiled;
        {
            GilRelease unlocked;
            compiled.emplace(nkcore::compile_sources(*instance, std::move(*info)));
        }
        if (!compiled->ok()) return raise_engine_error(failure, compiled->error());
        const std::vector<std::uint8_t>& bytes = compiled->value();
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<Py_ssize_t>(bytes.size()));
    });
}

PyObject* nk_load_module(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"instance", "module_data", nullptr};
    PyObject* instance_arg = nullptr;
    PyObject* module_data = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:_nk_load_module", const_cast<char**>(keywords),
                                     &instance_arg, &module_data))
        return nullptr;
    static constexpr const char* failure = "Failed to load compiled module: ";
    return guard_entry(failure, [&]() -> PyObject* {
        const nkcore::InstanceRef* held = instance_argument(instance_arg);
        if (!held || !module_data_argument(module_data)) return nullptr;
        nkcore::InstanceRef instance = *held;
        PyRef data = PyRef::borrow(module_data);  // immutable; read in place
        std::optional<nkcore::NkResult<nkcore::ModuleKey>> loaded;
        {
            GilRelease unlocked;
            loaded.emplace(nkcore::load_module(instance, bytes_view(data.get())));
        }
        if (!loaded->ok()) return raise_engine_error(failure, loaded->error());
        return wrap_module(loaded->value(), instance);
    });
}

PyObject* nk_disassemble_module(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"module_data", nullptr};
    PyObject* module_data = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:_nk_disassemble_module", const_cast<char**>(keywords),
                                     &module_data))
        return nullptr;
    static constexpr const char* failure = "Failed to disassemble module: ";
    return guard_entry(failure, [&]() -> PyObject* {
        if (!module_data_argument(module_data)) return nullptr;
        PyRef data = PyRef::borrow(module_data);
        std::optional<nkcore::NkResult<std::string>> text;
        {
            GilRelease unlocked;
            text.emplace(nkcore::disassemble_module(bytes_view(data.get())));
        }
        if (!text->ok()) return raise_engine_error(failure, text->error());
        const std::string& assembly = text->value();
        return PyUnicode_DecodeUTF8(assembly.data(), static_cast<Py_ssize_t>(assembly.size()), "replace");
    });
}

PyObject* factorial(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"n", nullptr};
    PyObject* arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:factorial", const_cast<char**>(keywords), &arg)) return nullptr;
    std::uint64_t n = 0;
    if (!u64_argument(arg, n)) return nullptr;
    std::uint64_t result = 1;
    for (std::uint64_t k = 2; k <= n; ++k)
        if (__builtin_mul_overflow(result, k, &result)) return integer_overflow();
    return PyLong_FromUnsignedLongLong(result);
}

PyObject* fibonacci(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"n", nullptr};
    PyObject* arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:fibonacci", const_cast<char**>(keywords), &arg)) return nullptr;
    std::uint64_t n = 0;
    if (!u64_argument(arg, n)) return nullptr;
    if (n == 0) return PyLong_FromUnsignedLongLong(0);
    // Each round also computes the next number, so F(92) is the last result:
    // F(93) fits but F(94), computed alongside it, does not.
    std::uint64_t previous = 0, current = 1;
    for (std::uint64_t i = 0; i < n; ++i) {
        std::uint64_t next = 0;
        if (__builtin_add_overflow(current, previous, &next)) return integer_overflow();
        previous = current;
        current = next;
    }
    return PyLong_FromUnsignedLongLong(previous);
}

template <auto Function>
PyCFunction as_cfunction() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Function));
}

}  // namespace

PyMethodDef module_functions[] = {
    {"_nk_create_instance", as_cfunction<nk_create_instance>(), METH_VARARGS | METH_KEYWORDS,
     "_nk_create_instance(instance_create_info)\n--\n\n"
     "Creates a new Nimbrask instance from the validated Python dataclasses."},
    {"_nk_compile_module", as_cfunction<nk_compile_module>(), METH_VARARGS | METH_KEYWORDS,
     "_nk_compile_module(instance, compile_info)\n--\n\n"
     "Compiles a list of source modules into a compiled module."},
    {"_nk_load_module", as_cfunction<nk_load_module>(), METH_VARARGS | METH_KEYWORDS,
     "_nk_load_module(instance, module_data)\n--\n\n"
     "Loads a compiled module into the given instance."},
    {"factorial", as_cfunction<factorial>(), METH_VARARGS | METH_KEYWORDS,
     "factorial(n)\n--\n\nComputes the factorial of a number."},
    {"fibonacci", as_cfunction<fibonacci>(), METH_VARARGS | METH_KEYWORDS,
     "fibonacci(n)\n--\n\nComputes the fibonacci of a number."},
    {"_nk_disassemble_module", as_cfunction<nk_disassemble_module>(), METH_VARARGS | METH_KEYWORDS,
     "_nk_disassemble_module(module_data)\n--\n\n"
     "Prints the module of a compiled module container as assembly text."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace nkpi_sys
