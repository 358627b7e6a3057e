#pragma once
// Owned objects of some engine-side type, carried in lists without being
// interpreted (extension create-info records), recognised later by type.

#include <memory>
#include <optional>
#include <typeinfo>
#include <utility>
#include <vector>

namespace nkcore {

class OpaqueObject {
public:
    virtual ~OpaqueObject() = default;
    virtual const std::type_info& type() const = 0;

    template <class T>
    bool is() const { return type() == typeid(T); }
};

template <class T>
class OpaqueValue final : public OpaqueObject {
public:
    explicit OpaqueValue(T value) : value_(std::move(value)) {}
    const std::type_info& type() const override { return typeid(T); }
    T take() && { return std::move(value_); }
    const T& get() const { return value_; }

private:
    T value_;
};

using OpaqueList = std::vector<std::unique_ptr<OpaqueObject>>;

template <class T>
std::unique_ptr<OpaqueObject> make_opaque(T value) {
    return std::make_unique<OpaqueValue<T>>(std::move(value));
}

// Removes the first object of type T from the list (later ones move up) and
// returns its value; further objects of that type stay.
template <class T>
std::optional<T> take_first(OpaqueList& list) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->is<T>()) {
            T value = std::move(static_cast<OpaqueValue<T>&>(**it)).take();
            list.erase(it);
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace nkcore
