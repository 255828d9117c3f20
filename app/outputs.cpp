#include "app/outputs.h"

namespace qz {

const char* OutputOption(TOutputKind kind) {
    switch (kind) {
    case TOutputKind::Export:
        return "--export";
    case TOutputKind::FileTypes:
        return "--exportfiletypes";
    case TOutputKind::TreemapImage:
        return "--treemapimagefile";
    case TOutputKind::Dump:
        return "--dumpmftfile";
    }
    return "";
}

bool OutputAvailable(TOutputKind kind, std::string& why) {
    switch (kind) {
    case TOutputKind::Export:
        why = "the CSV/TSV export is not available yet";
        return false;
    case TOutputKind::FileTypes:
        why = "the file-types export is not available yet";
        return false;
    case TOutputKind::TreemapImage:
        why = "the treemap image is not available yet";
        return false;
    case TOutputKind::Dump:
        why = "writing MFT dumps is not available yet";
        return false;
    }
    return false;
}

bool WriteCsvExport(TOutputContext&, const std::string&, std::string& error) {
    OutputAvailable(TOutputKind::Export, error);
    return false;
}

bool WriteFileTypesExport(TOutputContext&, const std::string&, std::string& error) {
    OutputAvailable(TOutputKind::FileTypes, error);
    return false;
}

bool WriteTreemapImage(TOutputContext&, const std::string&, std::string& error) {
    OutputAvailable(TOutputKind::TreemapImage, error);
    return false;
}

bool WriteMFTDump(const TScanSource&, const std::string&, TProgressLine&, std::string& error) {
    OutputAvailable(TOutputKind::Dump, error);
    return false;
}

} // namespace qz
