// The DXF reader: line ends, padded codes, number forms, sections, tables and damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <span>
#include <sstream>
#include <tuple>

#include "dxf_test_util.h"

namespace vutil::dxf::test {
namespace {

TEST(DxfReader, ReadsLineEndsPaddedCodesAndEveryNumberForm) {
    // The same drawing with LF and with CR LF, codes padded as R12 writers pad them: every number form, down
    // to the smallest subnormal, and values that are not numbers, which become NaN.
    const std::pair<int, const char *> values[] = {
        {10, "1"}, {20, "-2.5e+01"}, {30, "0.12345678901234567890"}, {40, "4.9406564584124654e-324"},
        {41, "  7.  "}, {42, ".5"}, {43, "abc"}, {44, "1.5x"}, {45, ""}, {46, "--1"}, {47, "1e5e5"}};
    const double expected[] = {1, -25, 0.12345678901234568, std::ldexp(1.0, -1074), 7, 0.5, NAN, NAN, NAN, NAN, NAN};
    Pairs entity = {{0, "SECTION"}, {2, "ENTITIES"}, {0, "POINT"}};
    entity.insert(entity.end(), std::begin(values), std::end(values));
    for (const char *end : {"\n", "\r\n"}) {
        const Drawn drawn = draw(lines(entity + Pairs{{0, "ENDSEC"}, {0, "EOF"}}, end, "  "));
        ASSERT_TRUE(drawn.ok) << drawn.reason;
        const Drawing &d = drawn.drawing;
        ASSERT_EQ(d.entities.size(), 1u);
        EXPECT_EQ(d.kinds[d.entities[0].kind], "POINT");
        ASSERT_EQ(d.groups.size(), std::size(values));
        for (std::size_t i = 0; i < std::size(values); ++i) {
            const double got = d.groups[i].number;
            EXPECT_EQ(d.groups[i].code, values[i].first);
            EXPECT_TRUE(got == expected[i] || (std::isnan(got) && std::isnan(expected[i]))) << values[i].second;
        }
        EXPECT_TRUE(d.notes.empty());
    }
}

TEST(DxfReader, ReadsLayersStylesBlocksTheVersionAndTheCodePage) {
    // Names padded with blanks; the header ended early with variables after its ENDSEC, as some writers
    // leave it; the test drawing's own HEADER that follows names no code page, so the first one's holds.
    const Pairs header = {{0, "SECTION"}, {2, "HEADER"}, {0, "ENDSEC"}, {9, " $DWGCODEPAGE"}, {3, "ANSI_1251"},
                          {9, "$EXTMIN"}, {10, "1e20"}, {20, "1e20"}, {0, "ENDSEC"}};
    const Pairs tables = {{0, "TABLE"}, {2, "LAYER"}, {0, "LAYER"}, {2, " Walls "}, {62, "-3"}, {70, "0"},
                          {0, "LAYER"}, {2, "Ice"},   {62, "5"},    {70, "1"},  {420, "16711935"},
                          {0, "ENDTAB"}, {0, "TABLE"}, {2, "STYLE"}, {0, "STYLE"}, {2, "Fancy"}, {40, "2.5"},
                          {41, "0.8"}, {50, "15"},    {71, "2"},    {3, " arial.ttf"}, {0, "ENDTAB"}};
    const Drawn d = draw(lines(header) + drawing(line(0, 0, 1, 1), tables, block("Bolt", line(0, 0, 2, 0), 3, 4)));
    ASSERT_TRUE(d.ok) << d.reason;
    EXPECT_EQ(d.drawing.codepage, 1251);
    EXPECT_EQ(d.drawing.version, "AC1015");
    auto layer = [&](const char *name) {
        const Layer &l = d.drawing.layers.at(name);
        return std::tuple(l.colour, l.trueColour, l.off, l.frozen);
    };
    EXPECT_EQ(layer("WALLS"), std::tuple(3, -1, true, false));
    EXPECT_EQ(layer("ICE"), std::tuple(5, 0xFF00FF, false, true));
    const Style &s = d.drawing.styles.at("FANCY");
    EXPECT_EQ(std::tuple(s.height, s.width, s.oblique, s.flags, s.font), std::tuple(2.5, 0.8, 15.0, 2, "arial.ttf"));
    const Block &b = d.drawing.blocks.at("BOLT");
    EXPECT_EQ(std::tuple(b.base[0], b.base[1], b.entities.size()), std::tuple(3.0, 4.0, std::size_t{1}));
    EXPECT_EQ(d.drawing.entities.size(), 1u);
}

TEST(DxfReader, PolylineHoldsItsVerticesAndEndsAtSeqend) {
    const Pairs entities = Pairs{{0, "POLYLINE"}, {66, "1"}, {70, "1"},  {0, "VERTEX"}, {10, "0"}, {20, "0"},
                            {0, "VERTEX"},   {10, "4"}, {20, "0"},  {42, "1"},     {0, "VERTEX"}, {10, "4"},
                            {20, "4"},       {0, "SEQEND"}, {8, "0"}} +
                           line(9, 9, 10, 10);
    const Drawn d = draw(drawing(entities));
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.drawing.entities.size(), 2u);
    const Entity &polyline = d.drawing.entities[0];
    EXPECT_EQ(d.drawing.kinds[polyline.kind] + " " + d.drawing.kinds[d.drawing.entities[1].kind], "POLYLINE LINE");
    const auto first = d.drawing.groups.begin() + polyline.first;
    EXPECT_EQ(std::count_if(first, first + polyline.count, [](const Group &g) { return g.code == 0; }), 3);
    EXPECT_EQ(d.result.drawn.at("POLYLINE"), 1u);
}

TEST(DxfReader, DamageIsReportedOrToleratedAsTheFileAllows) {
    struct Case {
        const char *name;
        std::string text;
        bool readable;
        const char *says;  ///< in the reason or a note
        std::size_t entities, groups;
    };
    const std::string good = drawing(line(0, 0, 1, 1));
    const Case cases[] = {
        {"code not a number", "0\nSECTION\n2\nENTITIES\nLINE\n10\n", false, "line 5: a group code", 0, 0},
        {"code out of range", "0\nSECTION\n2\nENTITIES\n5000\nX\n", false, "line 5", 0, 0},
        {"no section", "0\nLINE\n0\nEOF\n", false, "no SECTION", 0, 0},
        {"binary", std::string("AutoCAD Binary DXF\r\n\x1a\0", 22) + "junk", false, "binary DXF", 0, 0},
        {"empty", "", false, "no SECTION", 0, 0},
        {"cut after a section's name", "0\nSECTION\n2\nBLOCKS\n", true, "before its EOF", 0, 0},
        // Cut after the value of the start point's y: the line's layer, colour and start are kept, once each.
        {"truncated in an entity", good.substr(0, good.find("11\n")), true, "ends", 1, 4},
        {"value missing at the end", good.substr(0, good.rfind("EOF")), true, "without a value", 1, 6},
        {"unknown section and codes", lines(Pairs{{0, "SECTION"}, {2, "OBJECTS"}, {0, "DICTIONARY"}, {0, "ENDSEC"},
                                                  {0, "SECTION"}, {2, "ENTITIES"}, {0, "LINE"}, {999, "c"},
                                                  {1071, "7"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "1"},
                                                  {0, "ENDSEC"}, {0, "EOF"}}),
         true, "", 1, 6},
    };
    for (const Case &c : cases) {
        const Drawn d = draw(c.text);
        EXPECT_EQ(d.ok, c.readable) << c.name << ": " << d.reason;
        std::string said = d.reason;
        for (const std::string &n : d.drawing.notes) {
            said += n;
        }
        EXPECT_NE(said.find(c.says), std::string::npos) << c.name << ": " << said;
        if (d.ok) {
            EXPECT_EQ(d.drawing.entities.size(), c.entities) << c.name;
            EXPECT_EQ(d.drawing.groups.size(), c.groups) << c.name;
        }
    }
    Drawing d;
    std::string reason;
    EXPECT_FALSE(read(vutil::test::TempDir().file("missing.dxf"), d, reason));
    EXPECT_EQ(reason, "cannot be opened");
}

TEST(DxfReader, LongLinesAreCutNotOverrun) {
    const Drawn d = draw(drawing(Pairs{{0, "TEXT"}, {10, "0"}, {20, "0"}, {40, "1"}, {1, std::string(200000, 'A')}}));
    ASSERT_TRUE(d.ok);
    const auto longest = std::max_element(d.drawing.groups.begin(), d.drawing.groups.end(),
                                          [](const Group &a, const Group &b) { return a.length < b.length; });
    EXPECT_EQ(longest->length, 65536u);
}

/// What the reader keeps of a drawing, as one text: every entity's kind and groups, and the tables.
std::string everything(const Drawing &d) {
    std::ostringstream out;
    out.precision(17);
    auto groups = [&](const Entity &e) {
        out << d.kinds.at(e.kind) << ':';
        const Group *first = d.groupsOf(e);
        const std::vector<Group> &part = (e.first & Drawing::kSecondPart) != 0 ? d.secondGroups : d.groups;
        ASSERT_LE(first - part.data() + e.count, static_cast<std::ptrdiff_t>(part.size()));
        for (const Group &g : std::span(first, e.count)) {
            out << ' ' << g.code << '=';
            if (g.length != 0 || !std::isfinite(g.number)) {
                out << '"' << d.text(g) << '"';
            } else {
                out << g.number;
            }
        }
        out << '\n';
    };
    for (const Entity &e : d.entities) {
        groups(e);
    }
    for (const auto &[name, b] : std::map<std::string, Block>(d.blocks.begin(), d.blocks.end())) {
        out << "block " << name << ' ' << b.base[0] << ' ' << b.base[1] << '\n';
        for (const Entity &e : b.entities) {
            groups(e);
        }
    }
    for (const auto &[name, l] : std::map<std::string, Layer>(d.layers.begin(), d.layers.end())) {
        out << "layer " << name << ' ' << l.colour << ' ' << l.off << l.frozen << '\n';
    }
    for (const std::string &note : d.notes) {
        out << "note " << note << '\n';
    }
    out << "kinds";
    for (const std::string &k : d.kinds) {
        out << ' ' << k;
    }
    out << "\ncodepage " << d.codepage << " version " << d.version << '\n';
    return out.str();
}

TEST(DxfReader, TwoReadersReadWhatOneReads) {
    // The second reader starts anywhere in the file: in a polyline's vertices, in an insert's attributes, at a
    // value "0" or a text that names an entity. The drawing is the same wherever it starts, and where what follows
    // the entities is more than the first reader passes over, or the file is cut short, it is the first reader's.
    Pairs entities;
    for (int i = 0; i < 8; ++i) {
        const std::string at = std::to_string(i);
        entities = entities + line(i, 0, i + 1, 5, "L" + std::to_string(i % 3), i + 1) +
                   Pairs{{0, "POLYLINE"}, {66, "1"}, {70, "1"}, {0, "VERTEX"}, {10, at}, {20, "2"}, {0, "VERTEX"},
                         {10, "3"}, {20, "4.5e1"}, {0, "SEQEND"}, {0, "TEXT"}, {1, "0"}, {40, "2"},
                         {0, "TEXT"}, {1, "LINE"}, {0, "INSERT"}, {2, "B"}, {66, "1"}, {0, "ATTRIB"}, {1, "ARC"},
                         {0, "SEQEND"}, {0, "CIRCLE"}, {10, at}, {20, "1"}, {40, "0"}, {999, "0"}, {1, "ARC"}};
    }
    const Pairs layers = {{0, "LAYER"}, {2, "L1"}, {62, "-3"}}, blocks = block("B", line(0, 0, 1, 1));
    const std::string plain = drawing(entities, layers, blocks);
    const std::string end = "0\nEOF\n";
    const std::size_t eof = plain.rfind(end);
    auto before = [&](const std::string &more) { return plain.substr(0, eof) + more + end; };
    struct Variant {
        const char *name;
        std::string text;
        int shared;  ///< the second reader's work is taken: 1 from most places, 0 from none, -1 from some
    };
    const Variant variants[] = {
        {"plain", plain, 1},
        {"CR LF", drawing(entities, layers, blocks, "\r\n"), 1},
        {"objects after", before(lines({{0, "SECTION"}, {2, "OBJECTS"}, {0, "DICTIONARY"}, {3, "X"}, {0, "ENDSEC"}})),
         1},
        {"tables after", before(lines({{0, "SECTION"}, {2, "TABLES"}, {0, "LAYER"}, {2, "L2"}, {62, "-1"},
                                       {0, "ENDSEC"}})), 0},
        {"entities again",
         before(lines(Pairs{{0, "SECTION"}, {2, "ENTITIES"}} + line(0, 0, 9, 9) + Pairs{{0, "ENDSEC"}})),
         -1},  // taken when it starts in the second section
        {"cut short", plain.substr(0, eof - 40), 0},
    };
    vutil::test::TempDir dir;
    for (const Variant &v : variants) {
        const std::string path = dir.write("two.dxf", v.text);
        Drawing one;
        std::string reason;
        ASSERT_TRUE(read(path, one, reason, 0)) << v.name << ": " << reason;
        ASSERT_EQ(one.readers, 1);
        const std::string expected = everything(one);
        int shared = 0, tried = 0;
        for (std::size_t from = 1; from < v.text.size(); from += 5, ++tried) {
            Drawing two;
            ASSERT_TRUE(read(path, two, reason, static_cast<int32_t>(from))) << v.name << " from " << from;
            ASSERT_EQ(everything(two), expected) << v.name << " from " << from;
            shared += two.readers == 2 ? 1 : 0;
        }
        if (v.shared == 1) {
            EXPECT_GT(shared, tried / 2) << v.name;  // from most places in the entities it finds a start
        } else if (v.shared == 0) {
            EXPECT_EQ(shared, 0) << v.name;
        }
    }
}

TEST(DxfText, CodePagesEscapesAndUtf8) {
    struct Case {
        std::string in;
        int page;
        std::string out;
    };
    const Case cases[] = {
        {"caf\xe9 \x80", 1252, "caf\xc3\xa9 \xe2\x82\xac"},
        {"\xcf\xf0\xe8", 1251, "\xd0\x9f\xd1\x80\xd0\xb8"},             // "При"
        {"\xa3\xf3" "d\xbf", 1250, "\xc5\x81\xc3\xb3" "d\xc5\xbc"},  // "Łódż"
        {"\\U+00B0C \\U+2205", 1252, "\xc2\xb0" "C \xe2\x88\x85"},
        {"%%d %%p %%c 100%%%", 1252, "\xc2\xb0 \xc2\xb1 \xe2\x8c\x80 100%"},
        {"\xc3\xa9t\xc3\xa9", 1252, "\xc3\xa9t\xc3\xa9"},  // already UTF-8
        {"\\U+00ff", 1252, "\xc3\xbf"},                    // hexadecimal in lower case
        {"\\U+12", 1252, "\\U+12"},                          // too short an escape stays as it is
    };
    for (const Case &c : cases) {
        EXPECT_EQ(toUtf8(c.in, c.page), c.out) << c.in;
    }
}

}  // namespace
}  // namespace vutil::dxf::test
