#pragma once
// Colour lists of the "Colors and Update" tab: the toolkit's named colours, plus the colours the
// user mixed in the colour dialog. Colours travel as 0x00BBGGRR values, the form the supply's
// display colours are converted from and to.

#include <QColor>

#include <cstdint>

class QComboBox;

QColor BgrToQColor(uint32_t aColor);
uint32_t QColorToBgr(const QColor& aColor);

// Fills aBox with every named colour, each entry carrying its colour.
void FillNamedColors(QComboBox* aBox);
// Selects the first entry of aColor, or adds "RGB BBGGRR" for it and selects that.
void UpdateColorBox(QComboBox* aBox, uint32_t aColor);
// The colour of the selected entry; black when nothing is selected.
uint32_t SelectedColor(const QComboBox* aBox);
