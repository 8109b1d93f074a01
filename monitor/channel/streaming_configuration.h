// The adapter's streaming configuration: writing it ("Configure &Device")
// and viewing the one read at the last open ("&Streaming"). GUI thread only.
#pragma once

namespace qz6::mon {

// Runs SETCONFIG and, after OK, writes the configuration to send through a
// handle of its own, asking to retry for as long as the adapter refuses.
// Only while no device is open.
void ConfigureDevice();

// The configuration the device reported when it was last opened, titled
// with its code version.
void ShowStreamingConfiguration();

}  // namespace qz6::mon
