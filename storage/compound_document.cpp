// Compound-document streams over the storage services.
#include "storage/compound_document.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "frame/entry.h"
#include "platform/codepage.h"
#include "vutil/fileio.h"
#include "vutil/frame.h"

namespace vutil::storage {

Binding gBinding;
Slot gSlots[kMaxStreams + 1];

namespace {

namespace pf = platform;

int32_t listAllocationsBeforeFailure = -1;
DiagnosticSink diagnostic = _Info;

bool failed(int32_t status) noexcept { return status < 0; }

template <typename Object>
void releaseAndClear(Object *&object) noexcept {
    if (object != nullptr) {
        object->release();
        object = nullptr;
    }
}

template <typename Function>
Function entryPoint(pf::StorageLibrary *library, std::string_view name) noexcept {
    return reinterpret_cast<Function>(pf::storageEntryPoint(library, name));
}

/// Makes the binding on the first call in the process; true while it stands.
bool bind() noexcept {
    if (gBinding.library != nullptr || gBinding.attempted) {
        return gBinding.library != nullptr;
    }
    gBinding.attempted = true;
    frame::registerUnloadStep(frame::UnloadStep::OleBinding, releaseBinding);
    pf::StorageLibrary *library = pf::loadStorageLibrary("ole32.dll");
    if (library == nullptr) {
        return false;
    }
    gBinding.coInitialize = entryPoint<pf::CoInitializeFunction>(library, "CoInitialize");
    gBinding.coUninitialize = entryPoint<pf::CoUninitializeFunction>(library, "CoUninitialize");
    gBinding.stgIsStorageFile = entryPoint<pf::StgIsStorageFileFunction>(library, "StgIsStorageFile");
    gBinding.stgOpenStorage = entryPoint<pf::StgOpenStorageFunction>(library, "StgOpenStorage");
    if (gBinding.coInitialize == nullptr || gBinding.coUninitialize == nullptr ||
        gBinding.stgIsStorageFile == nullptr || gBinding.stgOpenStorage == nullptr) {
        pf::freeStorageLibrary(library);
        releaseBinding();
        return false;
    }
    gBinding.library = library;
    return true;
}

void joinUsers() noexcept {
    if (gBinding.users == 0) {
        gBinding.coInitialize(nullptr);
    }
    ++gBinding.users;
}

void leaveUsers() noexcept {
    if (--gBinding.users == 0) {
        gBinding.coUninitialize();
    }
}

/// The first slot whose handle is 0, cleared; 0 when all 15 are taken.
int32_t claimSlot() noexcept {
    for (int32_t number = 1; number <= kMaxStreams; ++number) {
        if (gSlots[number].handle == 0) {
            gSlots[number] = Slot{};
            return number;
        }
    }
    return 0;
}

/// A list of `levels` empty entries; null when memory runs out (or a test says so).
template <typename Entry>
Entry **allocateList(std::size_t levels) noexcept {
    if (listAllocationsBeforeFailure == 0) {
        return nullptr;
    }
    if (listAllocationsBeforeFailure > 0) {
        --listAllocationsBeforeFailure;
    }
    return new (std::nothrow) Entry *[levels]();
}

/// Both lists get room for one level per backslash of the path and 17 more.
bool allocateLists(Slot &slot, std::string_view path) noexcept {
    const std::size_t levels = static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) + 17;
    slot.storages = allocateList<pf::Storage>(levels);
    if (slot.storages == nullptr) {
        diagnostic("olelib|No memory to allocate substorage list");
        return false;
    }
    slot.enumerators = allocateList<pf::ElementEnumerator>(levels);
    if (slot.enumerators == nullptr) {
        diagnostic("olelib|No memory to allocate enumerator list");
        return false;
    }
    return true;
}

/// Everything the slot holds goes, in the order stream, then enumerator and storage of each level from the
/// deepest up; the copy is deleted and the slot cleared.
void releaseSlot(Slot &slot) noexcept {
    if (slot.stream != nullptr) {
        slot.handle = 0;
        releaseAndClear(slot.stream);
    }
    if (slot.storages != nullptr && slot.enumerators != nullptr) {
        for (int32_t level = slot.depth; level >= 0; --level) {
            releaseAndClear(slot.enumerators[level]);
            releaseAndClear(slot.storages[level]);
        }
    }
    delete[] slot.storages;
    delete[] slot.enumerators;
    if (slot.copyName[0] != '\0') {
        KorUnlink(slot.copyName);
    }
    slot = Slot{};
}

/// ANSI text to wide; nothing when it is not valid in the code page.
std::optional<std::u16string> widen(std::string_view text) noexcept {
    try {
        return pf::toWide(text);
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    }
}

bool openRoot(Slot &slot, const std::u16string &name) noexcept {
    return !failed(gBinding.stgOpenStorage(name.c_str(), kDocumentMode, &slot.storages[0])) &&
           slot.storages[0] != nullptr;
}

/// Opens the document as the slot's root storage: where it lies, or else (while another program writes it and
/// lets others read, say) from a temporary copy, which is deleted when the slot is released.
bool openDocument(Slot &slot, const char *document) noexcept {
    // A name beyond the path limit is refused rather than cut, which would name another file.
    const std::optional<std::u16string> name = widen(document);
    if (!name || name->size() > static_cast<std::size_t>(kPathLimit)) {
        return false;
    }
    if (failed(gBinding.stgIsStorageFile(name->c_str()))) {
        return false;
    }
    if (openRoot(slot, *name)) {
        return true;
    }
    KorMakeTmpName(slot.copyName);
    KorAppendFile(slot.copyName, document);
    if (const std::optional<std::u16string> copy = widen(slot.copyName); copy && openRoot(slot, *copy)) {
        return true;
    }
    KorUnlink(slot.copyName);
    slot.copyName[0] = '\0';
    return false;
}

enum class Purpose { Query, Open };

/// True when the element's name begins with the component (every name begins with the empty one).
bool matches(const char16_t *name, std::u16string_view component) noexcept {
    for (std::size_t i = 0; i < component.size(); ++i) {
        if (name[i] != component[i]) {
            return false;  // a shorter name meets its terminator here
        }
    }
    return true;
}

/// Gives up a walk that failed at `level`: that level's enumerator, and above it each level's storage below and
/// its own enumerator. The root storage stays.
bool unwind(Slot &slot, int32_t level) noexcept {
    releaseAndClear(slot.enumerators[level]);
    for (int32_t above = level - 1; above >= 0; --above) {
        releaseAndClear(slot.storages[above + 1]);
        releaseAndClear(slot.enumerators[above]);
    }
    return false;
}

/// Follows the path from the slot's depth, one component per level; for a query it stops at a storage named by
/// the last component (left in `element`), for both at a stream so named, which it opens.
bool walk(Slot &slot, int32_t number, std::string_view path, Purpose purpose) noexcept {
    for (;;) {
        const int32_t level = slot.depth;
        if (failed(slot.storages[level]->enumElements(&slot.enumerators[level])) ||
            slot.enumerators[level] == nullptr) {
            return unwind(slot, level);
        }
        const std::size_t end = std::min(path.find('\\'), path.size());
        const bool last = end == path.size();
        const std::optional<std::u16string> component = widen(path.substr(0, end));
        bool descended = false;
        while (!descended) {
            if (slot.enumerators[level]->next(&slot.element) != pf::stg::kOk) {
                return unwind(slot, level);
            }
            if (!component || !matches(slot.element.name, *component)) {
                continue;  // a component with no wide form matches nothing
            }
            const bool storage = slot.element.type == pf::kTypeStorage;
            if (storage && !last) {
                if (!failed(slot.storages[level]->openStorage(slot.element.name, kElementMode,
                                                              &slot.storages[level + 1])) &&
                    slot.storages[level + 1] != nullptr) {
                    ++slot.depth;
                    path.remove_prefix(end + 1);
                    descended = true;
                }
            } else if (storage && purpose == Purpose::Query) {
                return true;
            } else if (slot.element.type == pf::kTypeStream && last &&
                       !failed(slot.storages[level]->openStream(slot.element.name, kElementMode, &slot.stream))) {
                slot.position = 0;
                slot.size = static_cast<int32_t>(static_cast<uint32_t>(slot.element.size));
                slot.handle = number;
                return true;
            }
        }
    }
}

/// The element's name in the ANSI code page; a character without an ANSI form becomes '?'.
std::string ansiName(const char16_t *wide) noexcept {
    try {
        const std::u16string_view name(wide);
        if (auto text = pf::fromWide(name)) {
            return *text;
        }
        std::string text;
        for (std::size_t i = 0; i < name.size(); ++i) {
            const bool pair = i + 1 < name.size() && name[i] >= 0xD800 && name[i] < 0xDC00;
            const auto one = pf::fromWide(name.substr(i, pair ? 2 : 1));
            text += one ? *one : "?";
            i += pair ? 1 : 0;
        }
        return text;
    } catch (const std::bad_alloc &) {
        return {};
    }
}

/// Stores the element's name: all of it when it fits in `room` bytes (result 1), else the whole characters that
/// fit (result -1); terminated either way.
int32_t storeName(const char16_t *wide, int32_t room, char *name) noexcept {
    const std::string text = ansiName(wide);
    const bool cut = text.size() > static_cast<std::size_t>(room);
    std::size_t length = 0;
    while (length < text.size()) {
        const std::size_t step = pf::isLeadByte(static_cast<uint8_t>(text[length])) ? 2 : 1;
        if (length + step > static_cast<std::size_t>(room)) {
            break;
        }
        length += step;
    }
    std::memcpy(name, text.data(), length);
    name[length] = '\0';
    return cut ? kNameCut : 1;
}

/// The query once the document is open: walk, open the storage found, step to the element.
int32_t listElement(Slot &slot, int32_t number, std::string_view path, int32_t index, int32_t nameSize,
                    char *name) noexcept {
    if (!walk(slot, number, path, Purpose::Query) || slot.stream != nullptr) {
        return kNotAStorage;
    }
    const int32_t depth = slot.depth;
    if (failed(slot.storages[depth]->openStorage(slot.element.name, kElementMode, &slot.storages[depth + 1])) ||
        slot.storages[depth + 1] == nullptr) {
        return 0;
    }
    slot.depth = depth + 1;
    if (failed(slot.storages[depth + 1]->enumElements(&slot.enumerators[depth + 1])) ||
        slot.enumerators[depth + 1] == nullptr) {
        return kNotAStorage;
    }
    for (int64_t step = 0; step <= index; ++step) {
        if (slot.enumerators[depth + 1]->next(&slot.element) != pf::stg::kOk) {
            name[0] = '\0';
            return kNoSuchElement;
        }
    }
    const int32_t result = storeName(slot.element.name, nameSize, name);
    return slot.element.type == pf::kTypeStorage ? 2 * result : result;
}

/// The start of a query or an open: the binding, a platform use, a claimed slot; the slot's number, or 0 with
/// nothing held.
int32_t startCall() noexcept {
    if (!bind()) {
        return 0;
    }
    joinUsers();
    const int32_t number = claimSlot();
    if (number == 0) {
        leaveUsers();
    }
    return number;
}

}  // namespace

int32_t queryStorage(const char *document, const char *path, int32_t index, int32_t nameSize, char *name) noexcept {
    const int32_t number = document != nullptr && path != nullptr && name != nullptr && nameSize >= 0 ? startCall() : 0;
    if (number == 0) {
        return 0;
    }
    Slot &slot = gSlots[number];
    int32_t result = 0;
    if (allocateLists(slot, path) && openDocument(slot, document)) {
        result = listElement(slot, number, path, index, nameSize, name);
    }
    releaseSlot(slot);
    leaveUsers();
    return result;
}

int32_t openStream(const char *document, const char *path, int32_t *handle) noexcept {
    if (handle == nullptr) {
        return 0;
    }
    *handle = 0;
    const int32_t number = document != nullptr && path != nullptr ? startCall() : 0;
    if (number == 0) {
        return 0;
    }
    Slot &slot = gSlots[number];
    if (allocateLists(slot, path) && openDocument(slot, document) && walk(slot, number, path, Purpose::Open)) {
        *handle = number;
        return 1;
    }
    releaseSlot(slot);
    leaveUsers();
    return 0;
}

int32_t closeStream(int32_t handle) noexcept {
    Slot *slot = boundSlot(handle);
    if (slot == nullptr) {
        return 0;
    }
    if (slot->storages == nullptr || slot->storages[0] == nullptr) {
        return 1;
    }
    releaseSlot(*slot);
    leaveUsers();
    return 1;
}

int32_t streamGetcSlow(int32_t handle) noexcept {
    uint8_t byte;
    return readStream(&byte, 1, handle) == 1 ? byte : -1;
}

int32_t readFailed(Slot &slot) noexcept {
    slot.stream->seek(slot.position, pf::StreamOrigin::Set, nullptr);
    return 0;
}

int32_t seekStream(int32_t handle, int32_t offset, int32_t origin) noexcept {
    Slot *slot = boundSlot(handle);
    if (slot == nullptr) {
        return 0;
    }
    int64_t target;
    switch (origin) {
    case 0:
        target = offset;
        break;
    case 1:
        target = int64_t{slot->position} + offset;
        break;
    case 2:
        target = int64_t{slot->size} + offset;
        break;
    default:
        return 0;
    }
    if (target < 0 || target >= slot->size || slot->stream == nullptr) {
        return 0;
    }
    if (failed(slot->stream->seek(target, pf::StreamOrigin::Set, nullptr))) {
        slot->stream->seek(slot->position, pf::StreamOrigin::Set, nullptr);
        return 0;
    }
    slot->position = static_cast<int32_t>(target);
    return 1;
}

void releaseBinding() noexcept {
    if (gBinding.library != nullptr) {
        pf::freeStorageLibrary(gBinding.library);
    }
    gBinding.library = nullptr;
    gBinding.coInitialize = nullptr;
    gBinding.coUninitialize = nullptr;
    gBinding.stgIsStorageFile = nullptr;
    gBinding.stgOpenStorage = nullptr;
}

void resetBindingForTest() noexcept {
    releaseBinding();
    gBinding.attempted = false;
}

void failListAllocationAfter(int32_t successes) noexcept { listAllocationsBeforeFailure = successes; }

void setDiagnosticSink(DiagnosticSink sink) noexcept { diagnostic = sink != nullptr ? sink : _Info; }

}  // namespace vutil::storage
