// The release number of both programs and the simulator, shown in their
// version resources and in the name of the package. Macros, because the
// resource compiler reads this file too.
#pragma once

#define QZ6_VERSION_MAJOR 1
#define QZ6_VERSION_MINOR 0
#define QZ6_VERSION_PATCH 0
#define QZ6_VERSION_TEXT "1.0.0"
#define QZ6_COPYRIGHT_TEXT "Copyright (C) 2026 the qz6 developers"
