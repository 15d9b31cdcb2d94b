#pragma once
// Numbers of the editor's bitmap resources, shared by the resource script and the code.

#define IDB_BACKGROUND 101
#define IDB_KNOB_FACE 102
#define IDB_SWITCH_OFF 104
#define IDB_SWITCH_ON 105
