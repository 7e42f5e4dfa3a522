// The program's own resources (menu 104, accelerators 104, About dialog 152
// and its bitmap, the icons). A Windows build links them from its resource
// script; elsewhere the entry installs this table into the platform layer
// before anything looks one up.
#pragma once

void CTRL_installProgramResources();
