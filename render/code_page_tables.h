#pragma once

// Bytes 0x80 to 0xFF of the code pages beyond 437, 850 and 1252 that I8 selects (DOS 852, 860, 863, 865, 857,
// 861, 862, 855, 866, 737, 851 and 869; Windows 1250, 1251, 1253, 1254 and 1255), from the pages' published
// mappings: 128 characters, U+0000 where a page leaves a byte undefined. Null for any other page.
const char16_t* codePageTable(int codePage);
