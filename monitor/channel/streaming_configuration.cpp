#include "monitor/channel/streaming_configuration.h"

namespace qz6::mon {

// Not built yet.
void ConfigureDevice() {}

void ShowStreamingConfiguration() {}

}  // namespace qz6::mon
