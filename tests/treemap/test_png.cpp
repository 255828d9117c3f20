// The PNG writer: exact pixels back through libpng, replacing files (mode kept, links
// followed), and every failure reported with the file and its cause without leftovers.
#include "tests/support/testsupport.h"
#include "tests/treemap/treemap_support.h"
#include "treemap/pngwriter.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

TTreemapBitmap Pattern(int w, int h) {
    TTreemapBitmap b;
    std::string err;
    EXPECT_TRUE(b.Create(w, h, err)) << err;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.FillRect(x, y, x + 1, y + 1,
                       TColor((x * 7) & 0xFF) << 16 | TColor((y * 13) & 0xFF) << 8 |
                           TColor((x ^ y) & 0xFF));
    return b;
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> v;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                v.push_back(e->d_name);
        closedir(d);
    }
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

TEST(Png, RoundTripIsExactRgb) {
    TempDir dir;
    for (auto [w, h] : {std::pair{1, 1}, {37, 11}, {640, 3}}) { // odd widths: padded rows
        TTreemapBitmap b = Pattern(w, h);
        const std::string path = dir / ("p" + std::to_string(w) + ".png");
        std::string err;
        for (int level : {-1, 0, 9}) {
            ASSERT_TRUE(WriteTreemapPng(path, b, err, level)) << err;
            PngImage img;
            std::string format;
            ASSERT_TRUE(ReadPng(path, img, &format));
            EXPECT_EQ(format, "depth=8 type=2 interlace=0"); // 8-bit RGB, no alpha
            ASSERT_EQ(img.Width, w);
            ASSERT_EQ(img.Height, h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(img.Pixel(x, y), b.Pixel(x, y)) << x << "," << y;
        }
    }
    // Only the pictures are left in the folder: no temporary files.
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"p1.png", "p37.png", "p640.png"}));
}

TEST(Png, ReplacesExistingFileKeepingItsModeAndFollowsLinks) {
    TempDir dir;
    const std::string path = dir / "old.png";
    WriteFileBytes(path, "not a picture", 13);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    std::string err;
    TTreemapBitmap b = Pattern(5, 4);
    ASSERT_TRUE(WriteTreemapPng(path, b, err)) << err;
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    PngImage img;
    EXPECT_TRUE(ReadPng(path, img));

    const std::string link = dir / "link.png";
    ASSERT_EQ(symlink("old.png", link.c_str()), 0);
    TTreemapBitmap c = Pattern(9, 2);
    ASSERT_TRUE(WriteTreemapPng(link, c, err)) << err;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    ASSERT_TRUE(ReadPng(path, img));
    EXPECT_EQ(img.Width, 9) << "the link's target got the picture";
}

TEST(Png, FailuresNameTheFileAndTheCause) {
    TempDir dir;
    WriteFileBytes(dir / "plain", "x", 1);
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
    struct Case {
        std::string path, cause;
    };
    std::vector<Case> cases = {
        {dir / "sub", "Is a directory"},
        {dir / "plain/inside.png", "Not a directory"},
        {dir / "missing/x.png", "No such file or directory"},
    };
    if (access("/dev/full", W_OK) == 0) cases.push_back({"/dev/full", "No space left on device"});
    TTreemapBitmap b = Pattern(300, 200);
    for (const Case& c : cases) {
        std::string err;
        EXPECT_FALSE(WriteTreemapPng(c.path, b, err)) << c.path;
        EXPECT_NE(err.find(c.path), std::string::npos) << err;
        EXPECT_NE(err.find(c.cause), std::string::npos) << err;
    }
    std::string err;
    EXPECT_FALSE(WriteTreemapPng(dir / "empty.png", TTreemapBitmap(), err));
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"plain", "sub"})) << "no leftovers";
    EXPECT_TRUE(Entries(dir / "sub").empty());
}
