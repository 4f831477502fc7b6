#include "config/controller_names.h"

#include <array>


namespace {

// Indexed by entry; nullptr where the controller has no name of its own. The
// texts are shown and stored as they are, trailing blanks included.
constexpr std::array<const char*, kControllerEntries> kNames = [] {
  std::array<const char*, kControllerEntries> names{};
  names[0] = "----- none-------";
  names[1] = "Bank Select";
  names[2] = "Modulation Wheel (coarse)";
  names[3] = "Breath controller (coarse)";
  names[5] = "Foot Pedal (coarse)";
  names[6] = "Portamento Time (coarse)";
  names[7] = "Data Entry (coarse)";
  names[8] = "Volume (coarse)";
  names[9] = "Balance (coarse)";
  names[11] = "Pan position (coarse)";
  names[12] = "Expression (coarse)";
  names[13] = "Effect Control 1 (coarse)";
  names[14] = "Effect Control 2 (coarse)";
  names[17] = "General Purpose Slider 1";
  names[18] = "General Purpose Slider 2";
  names[19] = "General Purpose Slider 3";
  names[20] = "General Purpose Slider 4";
  names[33] = "Bank Select (fine)";
  names[34] = "Modulation Wheel (fine)";
  names[35] = "Breath controller (fine)";
  names[37] = "Foot Pedal (fine)";
  names[38] = "Portamento Time (fine)";
  names[39] = "Data Entry (fine)";
  names[40] = "Volume (fine)";
  names[41] = "Balance (fine)";
  names[43] = "Pan position (fine)";
  names[44] = "Expression (fine)";
  names[45] = "Effect Control 1 (fine)";
  names[46] = "Effect Control 2 (fine)";
  names[65] = "Hold Pedal (on/off)  ";
  names[66] = "Portamento (on/off)  ";
  names[67] = "Sustenuto Pedal (on/off)";
  names[68] = "Soft Pedal (on/off)  ";
  names[69] = "Legato Pedal (on/off)";
  names[70] = "Hold 2 Pedal (on/off)";
  names[71] = "Sound Variation    ";
  names[72] = "Sound Timbre       ";
  names[73] = "Sound Release Time ";
  names[74] = "Sound Attack Time";
  names[75] = "Sound Brightness ";
  names[76] = "Sound Control 6  ";
  names[77] = "Sound Control 7  ";
  names[78] = "Sound Control 8  ";
  names[79] = "Sound Control 9  ";
  names[80] = "Sound Control 10 ";
  names[81] = "General Purpose Button 1 (on/off)";
  names[82] = "General Purpose Button 2 (on/off)";
  names[83] = "General Purpose Button 3 (on/off)";
  names[84] = "General Purpose Button 4 (on/off)";
  names[92] = "Effects Level";
  names[93] = "Tremulo Level";
  names[94] = "Chorus Level";
  names[95] = "Celeste Level";
  names[96] = "Phaser Level ";
  names[97] = "Data Button increment";
  names[98] = "Data Button decrement ";
  names[99] = "Non-registered Parameter (fine)";
  names[100] = "Non-registered Parameter (coarse)";
  names[101] = "Registered Parameter (fine)";
  names[102] = "Registered Parameter (coarse)";
  names[121] = "All Sound Off ";
  names[122] = "All Controllers Off";
  names[123] = "Local Keyboard (on/off)";
  names[124] = "All Notes Off ";
  names[125] = "Omni Mode Off";
  names[126] = "Omni Mode On";
  names[127] = "Mono Operation";
  return names;
}();

}  // namespace

QString ControllerName(int index) {
  if (const char* name = kNames.at(index)) return QString::fromLatin1(name);
  return QStringLiteral(u"Controler n\u00B0 ") + QString::number(index - 1);
}
