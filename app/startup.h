#pragma once

class QTranslator;

namespace startup {

// Loads the German translation into `translator`: "vemo_de" from the working
// directory; when there is none there and the system's UI language is German,
// the translation built into the program. With it, the toolkit's own German
// texts (dialogs, standard buttons) go into `toolkit`. Returns whether ours
// was loaded.
bool loadTranslation(QTranslator& translator, QTranslator& toolkit);

// The program: creates the application, installs the translation, shows the
// main window and runs the event loop, whose result it returns.
int run(int argc, char** argv);

} // namespace startup
