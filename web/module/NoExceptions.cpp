// SPDX-License-Identifier: GPL-3.0-or-later
// The module is built without exception support.

#include <cstddef>

// The core throws only where a caller asks for something impossible (an instance at a rate
// this build cannot play), which the module's interface checks first. Should it happen all the
// same, the module stops with a WebAssembly trap, which JavaScript sees as an exception.
extern "C" void* __cxa_allocate_exception(std::size_t) {
    __builtin_trap();
}

extern "C" void __cxa_throw(void*, void*, void (*)(void*)) {
    __builtin_trap();
}
