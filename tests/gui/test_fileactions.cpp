// The window's other file commands on real trees: opening with the desktop's file opener (its
// failure shown, many items asked first), a terminal in the folder (or a message when there is
// none), Copy, Cut and Copy Path with exactly the chosen items in the formats file managers
// read (names with line breaks and bytes that are not UTF-8 kept as they are), dragging out
// (copy by default, move only with Shift), the properties of one item and of several, and a
// CSV scan that turns every command acting on disk off while Copy Path stays.
#include "tests/gui/fileops_fixture.h"

#include "fsops/fileuri.h"
#include "gui/filedrag.h"
#include "gui/propertiesdialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

void MakeTree(const std::string& data) {
    const std::string t = data + "/tree";
    WriteText(t + "/sel/a.txt", "a");
    WriteText(t + "/sel2/x", "sibling");
    WriteText(t + "/line\nbreak.txt", "n");
    WriteText(t + "/line.txt", "similar name");
    WriteText(t + "/bad\xff.bin", "x");
    WriteText(t + "/bad.bin", "similar name");
    for (int i = 0; i < 6; ++i) WriteText(t + "/many/f" + std::to_string(i), "m");
}

std::string Bytes(const QByteArray& b) {
    return std::string(b.constData(), size_t(b.size()));
}

// The paths of a URI list, in order; a line that is no file URI fails the test.
std::vector<std::string> PathsOfUris(const std::string& text, const std::string& separator) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(separator, pos);
        if (end == std::string::npos) end = text.size();
        std::string path;
        EXPECT_TRUE(PathOfFileUri(text.substr(pos, end - pos), path)) << text.substr(pos, end);
        out.push_back(path);
        pos = end + separator.size();
    }
    return out;
}

std::vector<std::string> Lines(const std::string& file) {
    std::ifstream in(file);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

} // namespace

TEST_F(FileOpsFixture, OpenHandsEachItemToTheFileOpenerAndShowsItsFailure) {
    MakeTree(Data);
    const std::string t = Data + "/tree";
    ASSERT_TRUE(ScanAndWait(t));
    SelectRows({"sel/a.txt", "line.txt"});
    Press(Qt::Key_Return);
    const std::string opened = Dir / "opened.txt";
    ASSERT_TRUE(QTest::qWaitFor([&] { return Lines(opened).size() == 2; }));
    const std::vector<std::string> got = Lines(opened);
    const std::set<std::string> lines(got.begin(), got.end());
    EXPECT_EQ(lines, (std::set<std::string>{t + "/sel/a.txt|" + t + "/sel", t + "/line.txt|" + t}));

    // The opener fails (no application for the type): the user is told, with the item.
    WriteText(Dir / "xdg-open.rc", "3");
    SelectRows({"line.txt"});
    Press(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !FileMessages.isEmpty(); }));
    EXPECT_TRUE(FileMessages[0].contains(QStringLiteral("Cannot open")));
    EXPECT_TRUE(FileMessages[0].contains(QStringLiteral("line.txt")));

    // Six items are asked first; No opens nothing.
    QStringList asked;
    FA().AskMany = [&](const QString& q) {
        asked << q;
        return false;
    };
    std::vector<std::string> six;
    for (int i = 0; i < 6; ++i) six.push_back("many/f" + std::to_string(i));
    SelectRows(six);
    const size_t before = Lines(opened).size();
    Press(Qt::Key_Return);
    QTest::qWait(300);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("6"))) << asked[0].toStdString();
    EXPECT_EQ(Lines(opened).size(), before);
}

TEST_F(FileOpsFixture, TerminalHereOpensInTheItemsFolderOrSaysThereIsNone) {
    MakeTree(Data);
    const std::string t = Data + "/tree";
    ASSERT_TRUE(ScanAndWait(t));
    WriteScript(Bin + "/term-of-test", "pwd >> '" + Dir / "terminal.txt" + "'");
    setenv("TERMINAL", (Bin + "/term-of-test").c_str(), 1);
    SelectRows({"sel/a.txt"});
    FA().actCommandPromptHere->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Lines(Dir / "terminal.txt").empty(); }));
    EXPECT_EQ(Lines(Dir / "terminal.txt")[0], t + "/sel");

    // No terminal anywhere: a message that says what to do.
    unsetenv("TERMINAL");
    const char* path = std::getenv("PATH");
    const std::string old = path ? path : "";
    setenv("PATH", Bin.c_str(), 1);
    FA().actCommandPromptHere->trigger();
    setenv("PATH", old.c_str(), 1);
    ASSERT_EQ(FileMessages.size(), 1);
    EXPECT_TRUE(FileMessages[0].contains(QStringLiteral("TERMINAL")));
}

TEST_F(FileOpsFixture, CopyCutAndCopyPathHoldExactlyTheChosenItems) {
    MakeTree(Data);
    const std::string t = Data + "/tree";
    ASSERT_TRUE(ScanAndWait(t));
    const std::vector<std::string> chosen = {"sel", "line\nbreak.txt", "bad\xff.bin"};
    SelectRows(chosen);
    std::vector<std::string> paths;
    for (const std::string& c : chosen) paths.push_back(t + "/" + c);
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    for (const bool cut : {false, true}) {
        SCOPED_TRACE(cut);
        (cut ? FA().actCut : FA().actCopy)->trigger();
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        ASSERT_NE(mime, nullptr);
        const std::string uris = Bytes(mime->data(QStringLiteral("text/uri-list")));
        ASSERT_GE(uris.size(), 2u);
        EXPECT_EQ(uris.substr(uris.size() - 2), "\r\n");
        EXPECT_EQ(sorted(PathsOfUris(uris.substr(0, uris.size() - 2), "\r\n")), sorted(paths));
        const std::string gnome = Bytes(mime->data(QStringLiteral("x-special/gnome-copied-files")));
        const std::string verb = cut ? "cut\n" : "copy\n";
        ASSERT_EQ(gnome.substr(0, verb.size()), verb);
        EXPECT_EQ(sorted(PathsOfUris(gnome.substr(verb.size()), "\n")), sorted(paths));
        EXPECT_EQ(mime->hasFormat(QStringLiteral("application/x-kde-cutselection")), cut);
        if (cut) {
            EXPECT_EQ(mime->data(QStringLiteral("application/x-kde-cutselection")), "1");
        }
    }
    // Copy Path: the paths as text, the name that is not UTF-8 as its own bytes.
    FA().actCopyPath->trigger();
    const std::string text =
        Bytes(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")));
    std::vector<std::string> copied;
    for (size_t pos = 0; pos < text.size();) {
        // A path ends where the next one starts ("\n/" + the tree): a name may hold "\n".
        size_t end = text.find("\n" + t + "/", pos + 1);
        if (end == std::string::npos) end = text.size() - 1;
        copied.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(sorted(copied), sorted(paths));
    // One path: no line break after it.
    SelectRows({"bad\xff.bin"});
    FA().actCopyPath->trigger();
    EXPECT_EQ(Bytes(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain"))),
              t + "/bad\xff.bin");
}

TEST_F(FileOpsFixture, DraggingOutOffersACopyAndAMoveOnlyWithShift) {
    MakeTree(Data);
    const std::string t = Data + "/tree";
    ASSERT_TRUE(ScanAndWait(t));
    FA().EnableDragDrop = true; // the setting (off by default)
    TFileDrag* drag = FA().DragOf(&View());
    ASSERT_NE(drag, nullptr);
    std::vector<std::string> dragged;
    Qt::DropActions offered;
    Qt::DropAction preferred = Qt::IgnoreAction;
    drag->Exec = [&](QDrag& d, Qt::DropActions actions, Qt::DropAction def) {
        const std::string uris = Bytes(d.mimeData()->data(QStringLiteral("text/uri-list")));
        dragged = PathsOfUris(uris.substr(0, uris.size() - 2), "\r\n");
        offered = actions;
        preferred = def;
        return Qt::CopyAction;
    };
    auto dragRow = [&](const std::string& rel, Qt::KeyboardModifiers mods) {
        TTreeNode* n = Node(rel);
        ASSERT_NE(n, nullptr);
        // A click first: the row is shown, and a press with Shift selects from it to itself.
        ClickRow(n);
        const QPoint at = View().visualRect(Model().IndexOf(n)).center();
        QWidget* vp = View().viewport();
        QMouseEvent press(QEvent::MouseButtonPress, at, vp->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, mods);
        QCoreApplication::sendEvent(vp, &press);
        const QPoint to = at + QPoint(40, 0);
        QMouseEvent move(QEvent::MouseMove, to, vp->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         mods);
        QCoreApplication::sendEvent(vp, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, to, vp->mapToGlobal(to), Qt::LeftButton,
                            Qt::NoButton, mods);
        QCoreApplication::sendEvent(vp, &release);
    };
    dragRow("line\nbreak.txt", Qt::NoModifier);
    EXPECT_EQ(dragged, (std::vector<std::string>{t + "/line\nbreak.txt"}));
    EXPECT_EQ(preferred, Qt::CopyAction);
    EXPECT_FALSE(offered & Qt::MoveAction);
    dragRow("sel", Qt::ShiftModifier);
    EXPECT_EQ(dragged, (std::vector<std::string>{t + "/sel"}));
    EXPECT_EQ(preferred, Qt::CopyAction);
    EXPECT_TRUE(offered & Qt::MoveAction);
    // Nothing was moved or removed by dragging.
    EXPECT_TRUE(Exists(t + "/sel/a.txt"));
    EXPECT_TRUE(Exists(t + "/line\nbreak.txt"));
}

TEST_F(FileOpsFixture, ACsvScanTurnsTheCommandsOnDiskOffAndCopyPathStays) {
    MakeTree(Data);
    const std::string t = Data + "/tree";
    // A listing of the real tree: its items exist, but a listing is no live folder.
    const std::string csv = Data + "/listing.csv";
    {
        std::ofstream f(csv, std::ios::binary);
        f << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n"
          << '"' << t << "/\",0,0,2024/01/02 03:04:05,16,0,0\r\n"
          << '"' << t << "/line.txt\",12,4096,2024/01/02 03:04:05,32,0,0\r\n";
    }
    ASSERT_TRUE(ScanAndWait(csv));
    for (QAction* a : {FA().actDeleteRecycle, FA().actDeleteNoRecycle, FA().actCopy, FA().actCut,
                       FA().actExplorerHere, FA().actCommandPromptHere})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(FA().actCopyPath->isEnabled());
    EXPECT_TRUE(Status().contains(QStringLiteral("File operations are off")))
        << Status().toStdString();
    SelectRows({"line.txt"});
    Press(Qt::Key_Delete);
    Press(Qt::Key_Delete, Qt::ShiftModifier);
    QTest::qWait(300);
    EXPECT_EQ(Deletes, 0);
    EXPECT_EQ(ReadText(t + "/line.txt"), "similar name");
    FA().actCopyPath->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), t + "/line.txt");
}

TEST_F(FileOpsFixture, PropertiesShowWhatTheFileSystemSaysOfOneItemAndTotalsOfSeveral) {
    MakeTree(Data);
    const std::string t = Data + "/tree";
    ASSERT_EQ(::link((t + "/line.txt").c_str(), (t + "/hard-link.txt").c_str()), 0);
    ASSERT_TRUE(ScanAndWait(t));
    auto open = [&](const std::vector<std::string>& rows) -> TPropertiesDialog* {
        SelectRows(rows);
        FA().actProperties->trigger();
        TPropertiesDialog* found = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<TPropertiesDialog*>(w); d && d->isVisible()) found = d;
            return found != nullptr;
        }));
        return found;
    };
    auto digits = [](const QString& s) {
        std::string out;
        for (QChar c : s)
            if (c.isDigit()) out += char(c.unicode());
        return out;
    };
    struct stat st {};
    ASSERT_EQ(::lstat((t + "/line.txt").c_str(), &st), 0);
    TPropertiesDialog* one = open({"line.txt"});
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(digits(one->Value(QStringLiteral("Inode"))), std::to_string(st.st_ino));
    EXPECT_EQ(digits(one->Value(QStringLiteral("Links"))), "2");
    EXPECT_TRUE(one->Value(QStringLiteral("Size")).startsWith(QStringLiteral("12")))
        << one->Value(QStringLiteral("Size")).toStdString();
    EXPECT_TRUE(one->Value(QStringLiteral("Mode")).contains(QStringLiteral("rw")))
        << one->Value(QStringLiteral("Mode")).toStdString();
    one->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !one->isVisible(); }));

    // Several: their number and what they hold (sel: a folder with one file).
    TPropertiesDialog* several = open({"sel", "line.txt", "bad\xff.bin"});
    ASSERT_NE(several, nullptr);
    EXPECT_EQ(several->Value(QStringLiteral("Items")), QStringLiteral("3"));
    EXPECT_EQ(several->Value(QStringLiteral("Files")), QStringLiteral("3"));
    EXPECT_EQ(several->Value(QStringLiteral("Folders")), QStringLiteral("1"));
    several->close();
}
