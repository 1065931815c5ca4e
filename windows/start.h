#pragma once

class Frm_Main;

// Starts the program: creates the main window (its load step runs) and shows it centred with the focus in
// Txt_Item. The window deletes itself when closed.
Frm_Main* startMainWindow();
