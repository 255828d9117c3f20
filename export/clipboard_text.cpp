#include "export/clipboard_text.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "engine/tree.h"
#include "views/format.h"

#include <vector>

namespace qz {

namespace {

class TClipboardLister {
public:
    TClipboardLister(TViewNodes& view, bool treeView, const TFormatSettings& format)
        : V(view), FTree(treeView), F(format) {}

    void Line(const TTreeNode* n) {
        PMFT_RECORD r = n->Data.Rec;
        if (!r) return;
        FLine = FormatSize(r->SubFoldersTotSize, F);
        if (FLine.size() < 20) FLine.insert(0, 20 - FLine.size(), u' ');
        FLine.append(size_t(2 * (std::max(n->Depth(), 0) + 1)), u' ');
        if (n->IsFileGroup) {
            const int32_t files = r->ThisFolderNumFiles();
            FLine.push_back(u'[');
            FLine.append(FormatCount(files, F.Numbers));
            FLine.push_back(u' ');
            Utf8ToUtf16(ntr("file in", "files in", uint64_t(files)), FLine);
            FLine.push_back(u' ');
            AppendRecordPath(n->FolderRec() ? n->FolderRec() : r, FLine);
            FLine.push_back(u']');
        } else if (FTree && !r->IsFolder()) {
            FLine += r->Name();
        } else {
            AppendRecordPath(r, FLine);
        }
        FLine += u"\r\n";
        Utf16ToUtf8(FLine, Out);
    }

    // The node's line and, when it is expanded, its visible children (folders and file
    // groups with what is unfolded below them).
    void Unfolded(TTreeNode* start) {
        std::vector<TTreeNode*> stack{start};
        while (!stack.empty()) {
            TTreeNode* n = stack.back();
            stack.pop_back();
            Line(n);
            if (!n->Expanded() || !(n->IsFileGroup || IsFolder(n))) continue;
            auto kids = V.Children(n);
            for (size_t i = kids.size(); i-- > 0;) stack.push_back(kids[i]);
        }
    }

    static bool IsFolder(const TTreeNode* n) { return n->Data.Rec && n->Data.Rec->IsFolder(); }

    std::string Out;

private:
    TViewNodes& V;
    bool FTree;
    const TFormatSettings& F;
    std::u16string FLine;
};

} // namespace

std::string ClipboardText(TViewNodes& view, bool treeView, const TFormatSettings& format) {
    TClipboardLister l(view, treeView, format);
    if (view.SelectedCount() > 0) {
        std::vector<TSelectedItem> items;
        GetSelectedItems(items, view);
        for (const TSelectedItem& item : items) {
            try {
                if (TClipboardLister::IsFolder(item.Node))
                    l.Unfolded(item.Node);
                else
                    l.Line(item.Node);
            } catch (const std::exception& e) {
                DebugLog(std::string("Clipboard text of a selected entry failed: ") + e.what());
            }
        }
        return std::move(l.Out);
    }
    auto roots = view.Roots();
    if (treeView) {
        if (!roots.empty()) l.Unfolded(roots[0]);
    } else {
        for (TTreeNode* n : roots) l.Line(n);
    }
    return std::move(l.Out);
}

} // namespace qz
