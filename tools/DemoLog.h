#pragma once
// Records a log from the simulated logger through the program's own receive
// and record path: CUSB with its threads over the simulated driver, the frame
// handlers of CToolsStream, the recorder and the header writer, all on a
// lockstep virtual clock so that the same options give the same bytes.
#include <cstdint>
#include <functional>
#include <string>

namespace zns::tools {

struct DemoLogOptions {
    std::string sondeDir;    // program directory holding "Ressources/HxZNS.tol" (the sonde)
    std::string dataPath;    // the ".zne" written
    std::string headerPath;  // its ".hed"
    int records = 300;       // recording stops once this many are written
    uint32_t seed = 20240305;
    double startDepthM = 152.0;
    double winchSpeedMpm = 4.0;
    bool up = true;          // winch and recording mode going up, else down
    // Called at rest every virtual 100 ms while recording, with the records
    // written so far; false stops the recording there (tests).
    std::function<bool(int written)> whileRecording;
};

struct DemoLogResult {
    bool ok = false;
    std::string error;   // why not, when !ok
    int records = 0;     // whole records in the data file
    int64_t virtualMs = 0;
};

DemoLogResult RecordDemoLog(const DemoLogOptions& options);

}  // namespace zns::tools
