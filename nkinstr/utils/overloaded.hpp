#pragma once

namespace nkinstr {

// Builds one visitor out of several lambdas for std::visit.
template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace nkinstr
