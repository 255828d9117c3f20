#include "ui/filesearch.h"

namespace qz {

// Waits for the filter language: until it is wired in, a non-empty search is refused with a
// message instead of listing unfiltered files as if they matched.
struct TFileSearch::Impl {
    bool empty = true;
};

TFileSearch::TFileSearch() : FImpl(std::make_unique<Impl>()) {}
TFileSearch::~TFileSearch() = default;

namespace {
std::u16string_view Trimmed(std::u16string_view s) {
    while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
    while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
    return s;
}
} // namespace

bool TFileSearch::Parse(std::u16string_view text, bool, std::string& error) {
    FImpl->empty = Trimmed(text).empty();
    if (!FImpl->empty) {
        error = "The search is not available yet";
        return false;
    }
    return true;
}

bool TFileSearch::Empty() const {
    return FImpl->empty;
}
bool TFileSearch::HasFoldersOnlyTerm() const {
    return false;
}
bool TFileSearch::ForcesFullPath() const {
    return false;
}
bool TFileSearch::Matches(PMFT_RECORD, bool, std::u16string&) const {
    return FImpl->empty;
}
std::vector<TMatchRange> TFileSearch::Highlight(std::u16string_view) const {
    return {};
}
std::u16string TFileSearch::NormalizeHistoryText(std::u16string_view text) {
    return std::u16string(Trimmed(text));
}

} // namespace qz
