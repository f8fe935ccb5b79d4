#pragma once

#include <QImage>

// The 16 × 16, 16-colour pictures of the ST-manual column: a box on an olive
// background, with (checked) or without the check mark.
QImage checkBoxPicture(bool checked);
