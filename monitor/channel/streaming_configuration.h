// The adapter's streaming configuration: writing it and viewing it.
#pragma once

namespace qz6::mon {

// "Configure &Device": only while no device is open.
void ConfigureDevice();

// "&Streaming": the configuration read at the last open.
void ShowStreamingConfiguration();

}  // namespace qz6::mon
