// vutil demo: a short tour of the library on built-in data.
#include "demo.h"

#include <filesystem>

#include "commands.h"
#include "output.h"

namespace vutil::tool {

void demo::Context::writeFile(const std::string &name, std::string_view data) {
    if (writeOutput("demo", outputDirectory + "/" + name, data) != 0) {
        failed = true;
    }
}

int runDemo(const Args &args) {
    demo::Context context{stdout, "vutil-demo"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" && i + 1 < args.size()) {
            context.outputDirectory = args[++i];
        } else if (args[i] == "--out") {
            return usageError(findCommand("demo"), "--out needs a directory");
        } else {
            return usageError(findCommand("demo"), "unknown argument '" + args[i] + "'");
        }
    }
    std::error_code error;
    std::filesystem::create_directories(context.outputDirectory, error);
    if (error) {
        return failure("demo", context.outputDirectory, "cannot create the directory: " + error.message());
    }

    struct Section {
        const char *title;
        void (*run)(demo::Context &);
    };
    static const Section sections[] = {
        {"Runtime services", demo::runtimeSection},
        {"File access", demo::fileioSection},
        {"Codecs, raster and colour", demo::rasterSection},
        {"Geometry", demo::geometrySection},
    };
    for (const Section &section : sections) {
        std::fprintf(context.out, "== %s ==\n", section.title);
        section.run(context);
        std::fprintf(context.out, "\n");
    }
    std::fprintf(context.out, "Files written to %s\n", context.outputDirectory.c_str());
    return context.failed ? 1 : 0;
}

}  // namespace vutil::tool
