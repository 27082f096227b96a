// Writes the demonstration log "Demo/ZNS_IT_UP.zne" and its ".hed": a few
// hundred records going up, recorded from the simulated logger through the
// program's own link, frame handlers and recorder on virtual time. The same
// options always give the same files.
//
//   zns_make_demo [output folder]   (default: the source tree's resources/Demo)
#include <cstdio>
#include <string>

#include "platform/Paths.h"
#include "tools/DemoLog.h"

int main(int argc, char** argv) {
    const std::string source = ZNS_SOURCE_DIR;
    const std::string out = argc > 1 ? argv[1] : zns::JoinPath(source, "resources/Demo");
    if (!zns::MakeDirs(out)) {
        std::fprintf(stderr, "cannot make %s\n", out.c_str());
        return 1;
    }
    zns::tools::DemoLogOptions o;
    o.sondeDir = zns::JoinPath(source, "resources");
    o.dataPath = zns::JoinPath(out, "ZNS_IT_UP.zne");
    o.headerPath = zns::JoinPath(out, "ZNS_IT_UP.hed");
    const zns::tools::DemoLogResult r = zns::tools::RecordDemoLog(o);
    if (!r.ok) {
        std::fprintf(stderr, "demo log not recorded: %s\n", r.error.c_str());
        return 1;
    }
    std::printf("%s: %d records, %.1f s of virtual time\n", o.dataPath.c_str(), r.records, r.virtualMs / 1000.0);
    return 0;
}
