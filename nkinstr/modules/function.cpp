#include "nkinstr/modules/function.hpp"

namespace nkinstr {

Function Function::make_default() {
    Function f;
    f.uuid = Uuid::new_v4();
    f.body.emplace(Label{0}, BasicBlock{Label{0}, {}, Trap{}});
    return f;
}

std::string Function::display_name() const { return name ? *name : uuid.to_string(); }

}  // namespace nkinstr
