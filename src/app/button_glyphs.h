#pragma once

#include <QIcon>

// The small pictures on the speed buttons, drawn in code.
enum class Glyph {
  OpenConfig,
  SaveConfig,
  SaveSysex,
  WriteFlash,
  SendConfig,
  NewTable,
  OpenTable,
  SaveTable,
  SendTable,
  Generator,
  View3D,
};

QIcon ButtonGlyph(Glyph glyph);
