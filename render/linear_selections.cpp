#include "render/linear_selections.h"

#include <zint.h>

#include <algorithm>

namespace {

// The GS1 mod-10 check digit: weights 3 and 1 from the rightmost digit.
char gs1CheckDigit(QByteArrayView digits)
{
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i)
        sum += (digits.at(digits.size() - 1 - i) - '0') * (i % 2 == 0 ? 3 : 1);
    return char('0' + (10 - sum % 10) % 10);
}

// The check digit of a postal item number of two letters, eight digits and a country (UPU S10).
char s10CheckDigit(QByteArrayView digits)
{
    constexpr int kWeights[8] = {8, 6, 4, 2, 3, 5, 9, 7};
    int sum = 0;
    for (int i = 0; i < 8; ++i)
        sum += (digits.at(i) - '0') * kWeights[i];
    const int check = 11 - sum % 11;
    return char('0' + (check == 10 ? 0 : check == 11 ? 5 : check));
}

QString name(const QByteArray& type)
{
    return QString::fromLatin1(type.left(8));
}

// `count` digits, or `count` and a check digit that is replaced by the computed one.
bool fixedDigits(const QByteArray& type, const QByteArray& data, int count, LinearRecipe* recipe)
{
    if (allDigits(data) && (data.size() == count || data.size() == count + 1)) {
        recipe->input = data.left(count);
        return true;
    }
    recipe->error = QStringLiteral("%1 takes %2 digits (the printer adds the check digit)").arg(name(type)).arg(count);
    return false;
}

} // namespace

LinearRecipe linearRecipe(const QByteArray& type, const QByteArray& data)
{
    LinearRecipe recipe;
    recipe.known = true;
    if (type == "0") {
        // A serial shipping container code: application identifier 00, 17 digits and their check digit.
        recipe.symbology = BARCODE_GS1_128;
        recipe.inputMode = GS1_MODE;
        if (fixedDigits(type, data, 17, &recipe))
            recipe.input = "[00]" + recipe.input + gs1CheckDigit(recipe.input);
    } else if (type == "1D") {
        const QByteArrayView view(data);
        const bool setB = data.size() == 12 && std::all_of(view.begin(), view.begin() + 2,
                                                           [](char c) { return uchar(c) >= 0x20 && uchar(c) < 0x7F; });
        if (!setB || !allDigits(view.sliced(2, 8)) || !data.endsWith("DE")) {
            recipe.error = QStringLiteral("1D takes 2 characters, 8 digits and DE");
            return recipe;
        }
        recipe.symbology = BARCODE_CODE128;
        recipe.input = data.left(10) + s10CheckDigit(view.sliced(2, 8)) + "DE";
    } else if (type == "2D") {
        if (!allDigits(data))
            recipe.error = QStringLiteral("Interleaved 2 of 5 takes digits only");
        recipe.symbology = BARCODE_C25INTER;
        recipe.input = data;
        recipe.option2 = 1; // the check digit is printed in the text too
        recipe.twoWidths = true;
    } else if (type == "2U") {
        recipe.symbology = BARCODE_ITF14;
        recipe.twoWidths = true;
        fixedDigits(type, data, 13, &recipe);
    } else if (type == "R14" || type == "RT") {
        // Truncated differs only in its height, which B gives anyway.
        recipe.symbology = BARCODE_DBAR_OMN;
        fixedDigits(type, data, 13, &recipe);
    } else if (type == "RS") {
        recipe.symbology = BARCODE_DBAR_STK;
        recipe.stacked = true;
        fixedDigits(type, data, 13, &recipe);
    } else if (type == "RL") {
        // RSS Limited holds item numbers whose first digit is 0 or 1 only.
        recipe.symbology = BARCODE_DBAR_LTD;
        if (fixedDigits(type, data, 13, &recipe) && data.at(0) > '1')
            recipe.error = QStringLiteral("RL takes 13 digits that start with 0 or 1");
    } else if (type == "2M") {
        if (!allDigits(data))
            recipe.error = QStringLiteral("Matrix 2 of 5 takes digits only");
        recipe.symbology = BARCODE_C25MATRIX;
        recipe.input = data;
        recipe.twoWidths = true;
    } else if (type == "L" || type == "M" || type == "1M") {
        // MSI Plessey: L and M with one mod-10 check digit, 1M with a second one over the first.
        if (!allDigits(data))
            recipe.error = QStringLiteral("MSI takes digits only");
        recipe.symbology = BARCODE_MSI_PLESSEY;
        recipe.input = data;
        recipe.option2 = type == "1M" ? 2 : 1;
        recipe.twoWidths = true;
    } else if (type == "2G") {
        // Deutsche Post's Identcode (11 digits) and Leitcode (13 digits), each with a check digit the printer
        // computes (one sent with the data is replaced).
        const bool ident = data.size() == 11 || data.size() == 12;
        if (!allDigits(data) || (!ident && data.size() != 13 && data.size() != 14)) {
            recipe.error = QStringLiteral("2G takes 11 digits (Identcode) or 13 (Leitcode)");
            return recipe;
        }
        recipe.symbology = ident ? BARCODE_DPIDENT : BARCODE_DPLEIT;
        recipe.input = data.left(ident ? 11 : 13);
        recipe.twoWidths = true;
    } else if (type == "P" || type == "PL") {
        // Hyphens only make the digits easier to read.
        QByteArray digits = data;
        digits.replace('-', QByteArray());
        const bool planet = type == "PL";
        const qsizetype n = digits.size();
        if (!allDigits(digits) || (planet ? n != 11 && n != 13 : n != 5 && n != 9 && n != 11 && n != 13))
            recipe.error = planet ? QStringLiteral("Planet takes 11 or 13 digits")
                                  : QStringLiteral("Postnet takes 5, 9, 11 or 13 digits");
        recipe.symbology = planet ? BARCODE_PLANET : BARCODE_POSTNET;
        recipe.input = digits;
        recipe.postal = true;
    } else if (type == "J") {
        // The printer takes the first 20 characters; the symbol pads what is shorter.
        recipe.symbology = BARCODE_JAPANPOST;
        recipe.input = data.left(20);
        recipe.postal = true;
    } else {
        recipe.known = false;
    }
    return recipe;
}

bool allDigits(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}
