#pragma once
// The visitor of the scenario's variants (an event's arguments, a script
// step's action): one lambda an alternative.

namespace mock {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

} // namespace mock
