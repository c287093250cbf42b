// The pictures of the destination chooser's image list, by index (the indexes are in
// app/chooser_model.h), drawn from the desktop style's own icons until a skin gives its own.
#pragma once

#include <QIcon>

namespace rd {

QIcon ChooserImage(int index);

// A skin's picture for entry `index`; it stays until another skin gives one.
void SetChooserImage(int index, const QIcon& icon);
// Whether a skin gave entry `index` a picture.
bool ChooserImageFromSkin(int index);

}  // namespace rd
