#include "export/filetypes_export.h"

#include "base/text.h"
#include "export/export_file.h"
#include "sources/csv_import_format.h"

#include <charconv>
#include <cmath>

namespace qz {

void AppendFileTypesCSV(std::string& out, const TFileTypesView& view,
                        TFileAssociationDetails& cache) {
    static const char* const kTitles[] = {"Extension", "File Type", "Percent",
                                          "Size",      "Allocated", "Files"};
    for (size_t i = 0; i < std::size(kTitles); ++i) {
        if (i) out.push_back(',');
        out.append(tr(kTitles[i]));
    }
    out.append("\r\n");

    // Every description is known before the first line is written.
    for (const TExtNodeData& row : view.Rows)
        if (!row.ExtKey.empty() && row.ExtKey.size() <= 15) cache.AddExtension(row.ExtKey);
    cache.GetFileIconsAndDescriptions();

    const bool byAlloc = view.SortColumn() == ecAllocated;
    std::u16string noExtension(1, u'(');
    Utf8ToUtf16(tr("no extension"), noExtension);
    noExtension.push_back(u')');
    auto number = [&](uint64_t v) {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        out.push_back(',');
        out.append(buf, size_t(r.ptr - buf));
    };
    for (const TExtNodeData& row : view.Rows) {
        AppendCsvQuoted(out, row.ExtKey);
        out.push_back(',');
        const std::u16string* d = cache.Description(row.ExtKey);
        AppendCsvQuoted(out, d                    ? std::u16string_view(*d)
                             : row.ExtKey.empty() ? std::u16string_view(noExtension)
                                                  : std::u16string_view());
        double pct = byAlloc ? row.AllocPercent : row.SizePercent;
        if (!std::isfinite(pct)) pct = 0;
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, pct, std::chars_format::fixed, 3);
        out.push_back(',');
        out.append(buf, size_t(r.ptr - buf));
        number(row.Size);
        number(row.Alloc);
        number(row.Count);
        out.append("\r\n");
    }
}

TFileTypesExportResult ExportFileTypesCSV(const std::u16string& fileName,
                                          const TFileTypesView& view,
                                          TFileAssociationDetails& cache) {
    TFileTypesExportResult r;
    TExportFile file;
    if (!file.Open(fileName)) {
        r.Ok = false;
        r.Error = file.Error();
        return r;
    }
    file.Write("\xEF\xBB\xBF");
    AppendFileTypesCSV(file.Buffer(), view, cache);
    file.Wrote();
    if (!file.Commit()) {
        r.Ok = false;
        r.Error = file.Error();
    }
    return r;
}

} // namespace qz
