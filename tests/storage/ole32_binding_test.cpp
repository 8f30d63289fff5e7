// Tests of the binding to the system's ole32: it is the system library that answers, the library does not link it,
// and the binding leaves the component services of a caller that started them itself as they were.
#include <windows.h>
#include <objbase.h>

#include "storage_fixture.h"

namespace vutil::test {
namespace {

using SystemStorage = StorageTest;

TEST_F(SystemStorage, TheSystemLibraryIsLoadedOnFirstUseAndAnswers) {
    storage::resetBindingForTest();
    const std::string file = dataPath("basic.cfb");
    EXPECT_EQ(query(file, "Sub\\Deep", 1), (std::pair<int32_t, std::string>{2, "Deeper"}));
    expectFacts({FACT(platform::storageLibraryLoads(), 1), FACT(storage::gBinding.users, 0)});
    EXPECT_NE(::GetModuleHandleA("ole32.dll"), nullptr) << "the answer came from ole32";
    // A document the built-in reader refuses (its byte-order mark is wrong) is read by the system's.
    std::string bytes = TempDir::read(file);
    bytes[28] = '\xFF';
    bytes[29] = '\xFE';
    EXPECT_EQ(query(scratch("marked.cfb", bytes), "Sub", 0), (std::pair<int32_t, std::string>{1, "top"}));
}

TEST_F(SystemStorage, ACallerThatStartedTheServicesInAnotherModelKeepsThem) {
    using Start = HRESULT(WINAPI *)(void *, DWORD);
    using Stop = void(WINAPI *)();
    const HMODULE ole32 = ::LoadLibraryA("ole32.dll");
    ASSERT_NE(ole32, nullptr);
    const auto start = reinterpret_cast<Start>(reinterpret_cast<void (*)()>(::GetProcAddress(ole32, "CoInitializeEx")));
    const auto stop = reinterpret_cast<Stop>(reinterpret_cast<void (*)()>(::GetProcAddress(ole32, "CoUninitialize")));
    ASSERT_EQ(start(nullptr, COINIT_MULTITHREADED), S_OK);
    // The library's start fails (another model); it must not stop what the caller started.
    EXPECT_EQ(query(dataPath("basic.cfb"), "Sub", 0), (std::pair<int32_t, std::string>{1, "top"}));
    EXPECT_EQ(openStream(dataPath("basic.cfb"), "Sub\\top"), 1);
    EXPECT_EQ(KorOleCloseStream(1), 1);
    EXPECT_EQ(start(nullptr, COINIT_MULTITHREADED), S_FALSE) << "the services still run";
    stop();
    stop();
    ::FreeLibrary(ole32);
}

}  // namespace
}  // namespace vutil::test
