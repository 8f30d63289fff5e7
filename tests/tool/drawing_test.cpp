// Tests of the demo's drawing file: written and read back through record descriptors, and refused when damaged.
#include "support/facts.h"
#include "drawing.h"

#include <cstring>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "vutil.h"

namespace vutil::tool::drawing {
namespace {

using test::TempDir;

bool readFile(const std::string &path, Drawing &drawing, std::string &reason) {
    int32_t handle = 0;
    if (KorOpenFile(path.c_str(), &handle, KOR_OPEN_READ) != 1) {
        reason = "cannot open";
        return false;
    }
    const bool read = drawing::read(handle, drawing, reason);
    KorCloseFile(handle);
    return read;
}

class DrawingFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(write(path_, original_));
        bytes_ = TempDir::read(path_);
    }
    /// Reads the file with `patch` applied to a copy of its bytes.
    bool readPatched(void (*patch)(std::string &), std::string &reason) {
        std::string bytes = bytes_;
        patch(bytes);
        Drawing drawing;
        return readFile(dir_.write("patched", bytes), drawing, reason);
    }

    TempDir dir_;
    const std::string path_ = dir_.file("drawing.vdr");
    const Drawing original_ = builtin();
    std::string bytes_;
};

TEST_F(DrawingFile, EveryFieldComesBackAsWritten) {
    // The file's layout itself is checked by the demo's check, which reads it with Python's struct.
    Drawing back;
    std::string reason;
    ASSERT_TRUE(readFile(path_, back, reason)) << reason;
    vutil::test::expectFacts({FACT(std::memcmp(&back.header, &original_.header, offsetof(Header, entities) + 4), 0),
                              FACT(std::memcmp(back.header.window, original_.header.window, sizeof(double) * 8), 0)});
    ASSERT_EQ(back.entities.size(), original_.entities.size());
    int kinds[kKinds + 1] = {};
    for (std::size_t i = 0; i < back.entities.size(); ++i) {
        const Entity &a = back.entities[i], &b = original_.entities[i];
        SCOPED_TRACE(i);
        vutil::test::expectFacts({FACT(a.kind, b.kind), FACT(a.colour, b.colour)});
        EXPECT_TRUE(a.points.size() == b.points.size() &&
                    std::memcmp(a.points.data(), b.points.data(), a.points.size() * sizeof(Point)) == 0);
        EXPECT_EQ(std::tie(a.rx, a.ry, a.start, a.end), std::tie(b.rx, b.ry, b.start, b.end));
        EXPECT_EQ(std::tie(a.height, a.width, a.angle, a.flags, a.text),
                  std::tie(b.height, b.width, b.angle, b.flags, b.text));
        EXPECT_EQ(a.spacing, b.spacing);
        ++kinds[static_cast<int>(a.kind)];
    }
    for (int kind = 1; kind <= kKinds; ++kind) {
        EXPECT_GE(kinds[kind], 2) << "the built-in drawing shows each kind more than once: " << kind;
    }
}

TEST_F(DrawingFile, DamagedHeadersAreRefused) {
    const struct {
        const char *what;
        void (*patch)(std::string &);
        const char *reason;
    } cases[] = {
        {"magic", [](std::string &b) { b[0] = 'X'; }, "no VDRW header"},
        {"version", [](std::string &b) { b[4] = 2; }, "version 2"},
        {"too many entities", [](std::string &b) { b.replace(8, 4, "\xA1\x86\x01\x00", 4); }, "100001 entities"},
        {"more entities than the file holds", [](std::string &b) { ++b[8]; }, "ends before entity"},
        {"as many entities as a drawing may have", [](std::string &b) { b.replace(8, 4, "\xA0\x86\x01\x00", 4); },
         "the file ends before entity 34"},
        {"cut inside the last entity", [](std::string &b) { b.resize(b.size() - 1); }, "ends inside entity 33"},
        {"cut inside the first", [](std::string &b) { b.resize(76 + 8 + 40); }, "ends inside entity 0"}};
    for (const auto &c : cases) {
        std::string reason;
        EXPECT_FALSE(readPatched(c.patch, reason)) << c.what;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
}

TEST_F(DrawingFile, EntityHeadsWhoseCountDoesNotFitTheKindAreRefusedBeforeAnythingIsRead) {
    // The first entity's head lies at offset 76: kind, colour, count. A count that fits
    // its kind is taken, and the reading goes on into the bytes that follow.
    const struct {
        int16_t kind;
        int32_t count;
        bool fits;
    } cases[] = {{0, 0, false},      {6, 0, false},      {-1, 0, false},       {1, 1, false},       {3, -1, false},
                 {2, 1, false},      {2, kMaxPoints, true}, {2, kMaxPoints + 1, false}, {2, 1000000, false},
                 {5, 3, false},      {5, 4, true},       {5, kMaxPoints, true}, {5, kMaxPoints + 1, false},
                 {4, -1, false},     {4, 0, true},       {4, kMaxText, true},   {4, kMaxText + 1, false}};
    for (const auto &c : cases) {
        std::string bytes = bytes_;
        std::memcpy(&bytes[76], &c.kind, 2);
        std::memcpy(&bytes[80], &c.count, 4);
        Drawing drawing;
        std::string reason;
        const bool read = readFile(dir_.write("patched", bytes), drawing, reason);
        const std::string refusal = "entity 0 has kind " + std::to_string(c.kind) + " and count " +
                                    std::to_string(c.count) + ", which do not go together";
        EXPECT_EQ(reason == refusal, !c.fits) << c.kind << " " << c.count << ": " << reason;
        EXPECT_TRUE(!read || c.fits);
    }
}

}  // namespace
}  // namespace vutil::tool::drawing
