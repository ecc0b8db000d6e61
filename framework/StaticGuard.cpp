// A function's static object is made on its first use, under a lock the compiler asks of the
// C++ runtime. The runtime's own lock throws when it is misused (an object whose constructor
// needs itself), and so brought the whole exception machinery into the executable, about 25 KB:
// this one keeps the same guard layout and the same promise (one thread makes the object, the
// others wait for it) and ends the program on misuse, as the uncaught throw did.

#include <windows.h>

#include <cstdlib>
#include <cxxabi.h>

namespace {

// The guard is 64 bits. Its first byte says "made": the compiler reads it itself and calls
// in here only while it is 0. Its second half holds the id of the thread making the object.
using SharedWord = LONG __attribute__((may_alias));

char* Made(__cxxabiv1::__guard* guard) { return reinterpret_cast<char*>(guard); }
SharedWord* Maker(__cxxabiv1::__guard* guard) { return reinterpret_cast<SharedWord*>(guard) + 1; }

}  // namespace

namespace __cxxabiv1 {

extern "C" int __cxa_guard_acquire(__guard* guard) {
    const LONG me = static_cast<LONG>(::GetCurrentThreadId());
    for (;;) {
        if (__atomic_load_n(Made(guard), __ATOMIC_ACQUIRE)) return 0;
        LONG maker = 0;
        if (__atomic_compare_exchange_n(Maker(guard), &maker, me, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
            // Another thread may have made it and let go between the two reads.
            if (!__atomic_load_n(Made(guard), __ATOMIC_ACQUIRE)) return 1;
            __atomic_store_n(Maker(guard), 0, __ATOMIC_RELEASE);
            return 0;
        }
        if (maker == me) abort();  // the object's own making asks for it: it would wait forever
        ::Sleep(1);
    }
}

extern "C" void __cxa_guard_release(__guard* guard) _GLIBCXX_NOTHROW {
    __atomic_store_n(Made(guard), 1, __ATOMIC_RELEASE);
    __atomic_store_n(Maker(guard), 0, __ATOMIC_RELEASE);
}

// The making threw (only code built with exceptions, the tests' own): the next use tries again.
extern "C" void __cxa_guard_abort(__guard* guard) _GLIBCXX_NOTHROW {
    __atomic_store_n(Maker(guard), 0, __ATOMIC_RELEASE);
}

}  // namespace __cxxabiv1
