#include "windows/start.h"

#include "windows/frm_main.h"

Frm_Main* startMainWindow()
{
    auto* window = new Frm_Main;
    window->showCentred();
    return window;
}
