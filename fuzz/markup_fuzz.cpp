// The markup of the summary sentences, which carry file names, folder names
// and program parameters typed or found anywhere: parsing any line, laying
// it out and hit-testing every pixel agree with each other, a link's value
// set is the value read back, and entities encode and decode losslessly.
#include <fuzzer/FuzzedDataProvider.h>

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "editor/parammarkup.h"
#include "fuzz_check.h"

namespace {

// Text as UTF-8 or, to reach lone surrogates and every code unit, as raw UTF-16.
QString Text(FuzzedDataProvider& in, std::size_t maxBytes) {
    const bool utf16 = in.ConsumeBool();
    const std::string bytes = in.ConsumeRandomLengthString(maxBytes);
    if (!utf16) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return QString(reinterpret_cast<const QChar*>(bytes.data()),
                   static_cast<qsizetype>(bytes.size() / 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const QString value = Text(in, 256);
    const int left = in.ConsumeIntegralInRange(0, 40);
    const QString line = Text(in, 4096);

    const std::vector<kb::MarkupRun> runs = kb::ParseMarkup(line);
    const kb::TextWidth width = [](const QString& t) { return static_cast<int>(t.size()) * 7; };
    const std::vector<kb::MarkupPiece> pieces = kb::LayoutMarkup(runs, left, width);
    FUZZ_CHECK(pieces.size() == runs.size());
    int x = left;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        FUZZ_CHECK(pieces[i].x0 == x && pieces[i].x1 == x + width(runs[i].text));
        FUZZ_CHECK(!runs[i].text.contains('\t') && !runs[i].text.contains('\n'));
        x = pieces[i].x1;
    }
    // Hit-testing names a link exactly where a link is drawn.
    for (int at = left - 2; at <= x + 2; ++at) {
        const int hit = kb::LinkRunAt(runs, pieces, at);
        bool onLink = false;
        for (std::size_t i = 0; i < runs.size(); ++i)
            if (runs[i].link && pieces[i].x0 <= at && at < pieces[i].x1) onLink = true;
        FUZZ_CHECK((hit >= 0) == onLink);
        if (hit >= 0) {
            const auto h = static_cast<std::size_t>(hit);
            FUZZ_CHECK(h < runs.size() && runs[h].link);
            FUZZ_CHECK(pieces[h].x0 <= at && at < pieces[h].x1);
        }
    }

    FUZZ_CHECK(kb::DecodeEntities(kb::EncodeEntities(value)) == value);
    FUZZ_CHECK(!kb::EncodeEntities(value).contains('<'));

    // Every link's value can be replaced and read back, and the rest of the
    // line keeps its links.
    for (const kb::MarkupRun& run : runs) {
        if (!run.link) continue;
        const QString changed = kb::MarkupSetParamValue(line, run.href, value);
        FUZZ_CHECK(kb::MarkupParamValue(changed, run.href) == value);
        std::size_t linksBefore = 0, linksAfter = 0;
        for (const kb::MarkupRun& r : runs) linksBefore += r.link ? 1 : 0;
        for (const kb::MarkupRun& r : kb::ParseMarkup(changed)) linksAfter += r.link ? 1 : 0;
        FUZZ_CHECK(linksAfter + 1 >= linksBefore);
    }
    return 0;
}
