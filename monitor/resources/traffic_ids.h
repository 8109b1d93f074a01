// Resource ids of the line traffic windows and dialogs, shared by
// traffic.rc and the code in monitor/traffic/.
#pragma once
