#pragma once

#include "printing/label_settings.h"
#include "windows/frm_main.h"

// The size option buttons from the top. Each is named after the caption it had when the window was first
// laid out; SSOpt_9M now carries the 6M size and SSOpt_6M the 9M size.
struct SizeOption
{
    LabelSize size;
    const char* name;
    SSOption* Frm_Main::*button;
    void (Frm_Main::*click)(qint16);
    int y;
};
inline const SizeOption kSizeOptions[] = {
    {LabelSize::M1, "SSOpt_1M", &Frm_Main::SSOpt_1M, &Frm_Main::SSOpt_1M_Click, 28},
    {LabelSize::M2, "SSOpt_2M", &Frm_Main::SSOpt_2M, &Frm_Main::SSOpt_2M_Click, 66},
    {LabelSize::M3, "SSOpt_3M", &Frm_Main::SSOpt_3M, &Frm_Main::SSOpt_3M_Click, 104},
    {LabelSize::M6, "SSOpt_9M", &Frm_Main::SSOpt_9M, &Frm_Main::SSOpt_9M_Click, 140},
    {LabelSize::M9, "SSOpt_6M", &Frm_Main::SSOpt_6M, &Frm_Main::SSOpt_6M_Click, 178},
};
