// Support for the font tests: the face of a font opened with FreeType directly.
#pragma once

#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/font.h"
#include "tests/platform/outline_support.h"

namespace vutil::test {

/// The face a font was read from, opened with FreeType directly at the font's size.
class DirectFace {
public:
    explicit DirectFace(const platform::Font &font) {
        EXPECT_EQ(FT_Init_FreeType(&library_), 0);
        EXPECT_EQ(FT_New_Face(library_, font.fileName().c_str(), font.faceIndex(), &face_), 0);
        FT_Set_Char_Size(face_, std::lround(font.pixelsPerEmX() * 64), std::lround(font.pixelsPerEmY() * 64), 72, 72);
    }
    ~DirectFace() {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    FT_Face face() const { return face_; }
    const FT_Outline &load(char c) {
        EXPECT_EQ(FT_Load_Char(face_, static_cast<unsigned char>(c), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP), 0);
        return face_->glyph->outline;
    }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

}  // namespace vutil::test
