#pragma once
// The program's icon, in every size the generator draws it, for the windows to carry.

class QIcon;

QIcon ProgramIcon();
