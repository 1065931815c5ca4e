#pragma once

// The four EPL2 jobs the program can send. Which one a press sends depends only on the label size and,
// for 2M, on the five-across check box.
enum class JobKind {
    OneM,           // direct format, Item and Version, 10 dots added to both Y positions
    TwoM,           // direct format, Item and Version
    TwoMFiveAcross, // Item and Version five times side by side, placed by the panel offsets
    StoredForm,     // store the form "FIXEDAT0" with four variable fields and recall it (3M, 6M, 9M)
};
