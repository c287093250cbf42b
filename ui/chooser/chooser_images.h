// The pictures of the destination chooser's image list, by index (the indexes are in
// app/chooser_model.h), drawn from the desktop style's own icons.
#pragma once

#include <QIcon>

namespace rd {

QIcon ChooserImage(int index);

}  // namespace rd
