// Catalogue files and plural rules from untrusted bytes: never a read outside the input.
#include "base/mocatalogue.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    qz::TPluralRule rule;
    if (rule.Parse(bytes))
        for (uint64_t n : {0ull, 1ull, 2ull, 5ull, 11ull, 101ull, ~0ull}) (void)rule.FormFor(n);
    qz::TMoCatalogue catalogue;
    if (catalogue.Load(bytes)) {
        (void)catalogue.HeaderField("Plural-Forms");
        (void)catalogue.Find("Scan");
        (void)catalogue.FindPlural("file", 3);
    }
    return 0;
}
