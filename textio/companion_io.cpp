// companion_io.cpp -- reading a request, writing an answer, failing cleanly.
#include "textio/companion_io.h"

#include <cmath>
#include <cstdio>

#include "textio/errors.h"
#include "textio/text_reader.h"
#include "textio/text_writer.h"

namespace textio {

Request ReadRequest(const std::filesystem::path& dir, const std::string& file, bool withTime, int count,
                    const char* nameFormat) {
    TextReader in(dir, file);
    Request request;
    if (withTime) request.time = in.ReadDouble("time");
    request.values.assign(static_cast<std::size_t>(count) + 1, 0.0f);
    char name[64];
    for (int i = 1; i <= count; ++i) {
        std::snprintf(name, sizeof name, nameFormat, i);
        request.values[static_cast<std::size_t>(i)] = in.ReadSingle(name);
    }
    return request;
}

void WriteAnswer(const std::filesystem::path& dir, const std::string& file, const std::vector<float>& values,
                 const char* nameFormat) {
    for (std::size_t i = 1; i < values.size(); ++i) {
        if (std::isfinite(values[i])) continue;
        char name[64];
        std::snprintf(name, sizeof name, nameFormat, static_cast<int>(i));
        throw DataError(std::string(name) + (std::isnan(values[i]) ? " is not a number"
                                                                   : " lies beyond the Single range") +
                        "; \"" + file + "\" is not written");
    }
    TextWriter out(dir, file);
    for (std::size_t i = 1; i < values.size(); ++i) out.Single(values[i]).EndLine();
    out.Close();
}

int CompanionMain(const char* program, const std::function<void()>& body) {
    try {
        body();
    } catch (const DataError& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 1;
    }
    return 0;
}

}  // namespace textio
