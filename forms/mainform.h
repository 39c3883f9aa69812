#pragma once

#include "ui_main.h"

// The main window's generated form. The window inherits it privately and calls
// setupUi(this) before it touches any of the widgets.
namespace Ui {
class qMain : public Ui_main
{
};
} // namespace Ui
