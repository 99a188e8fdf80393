#pragma once

// Where everything of the synthesizer's editor window lies, in window
// pixels, and the sizes the skin draws its images at. The editor places its
// controls from these numbers and the skin generator paints the plates,
// section titles and legends of the background from the same numbers, so a
// legend can never drift away from its control.
//
// Header only and free of the toolkit, so the generator (a build tool)
// includes it without linking the editor.

#include <vector>

namespace zarnlayout {

struct Pos {
  int x, y;
};

// ---- image sizes
constexpr int cWidth = 640, cHeight = 522;
constexpr int cKnob = 52;      // main knobs
constexpr int cRing = 68;      // ring knobs: 8 pixels larger on each side
constexpr int cSmallKnob = 36;
constexpr int cHorTrack = 24, cHorThick = 12; // horizontal switch track; the handle is half as long
constexpr int cVerTrack = 20, cVerThick = 12; // vertical switch track; the handle is half as long
constexpr int cToggleW = 18, cToggleH = 16;
constexpr int cSelectH = 16;  // plain (select) buttons
constexpr int cGenericH = 20; // generic buttons and the header
constexpr int cMenuSize = 13;
constexpr int cSmallButton = 12; // bypass and clear
constexpr int cSourceSize = 18;
constexpr int cLight = 10;
constexpr int cBankW = 18, cBankH = 16;
constexpr int cOrderW = 20, cOrderH = 6;
constexpr int cWarning = 12;
constexpr int cHintW = 327, cHintH = 90;
constexpr int cDialogW = 320, cDialogH = 200;
constexpr int cSyncBackW = 58, cSyncBackH = 62;
constexpr int cDisplayW = 213, cDisplayH = 186;
constexpr int cLearnW = 64;
constexpr int cPresetsW = 154, cPreviousW = 20, cNextW = 14, cOptionsW = 20;

// The vertical / horizontal extent of a switch with n stops.
constexpr int switchLength(int track, int n) { return track + (n > 2 ? (n - 2) * (track - track / 2) : 0); }

// ---- panels (x, y, w, h)
struct Panel {
  const char* title;
  int x, y, w, h;
  int family; // 0 sources, 1 filters, 2 modulators, 3 envelopes, 4 output, 5 matrix, 6 voices
};
constexpr Panel cOscPanel{"OSCILLATORS", 0, 37, 358, 186, 0};
constexpr Panel cFilterPanel{"FILTERS", 361, 37, 214, 186, 1};
constexpr Panel cOutputPanel{"OUTPUT", 575, 37, 65, 186, 4};
constexpr Panel cMatrixPanel{"MODULATION", 0, 224, 640, 95, 5};
constexpr Panel cEnvPanel{"ENVELOPES", 343, 319, 297, 203, 3};
constexpr Panel cVoicePanel{"VOICES", 0, 454, 343, 68, 6};
constexpr int cLfoX[3] = {0, 114, 228};
constexpr int lfoWidth(int n) { return n == 0 ? 114 : 113; }
constexpr int cLfoY = 320, cLfoH = 134;

// ---- header
constexpr Pos cPrevious{368, 10}, cPresets{389, 10}, cNext{544, 10}, cOptions{558, 10}, cHelp{578, 10};
constexpr Pos cPreviousQV{356, 10}, cPresetsQV{377, 10}, cNextQV{532, 10}, cHelpQV{582, 10};
constexpr int cHelpW = 48;

// ---- oscillators
constexpr Pos cOscPresets{84, 37};
constexpr Pos cNoisePan{13, 52}, cNoiseLevel{21, 60}, cNoiseType{31, 136};
constexpr Pos cPortamento{13, 165}, cPortamentoMode{52, 169};
constexpr Pos cOscScale[2] = {{111, 52}, {111, 149}};
constexpr Pos cOscTune[2] = {{119, 60}, {119, 157}};
constexpr Pos cOscWave[2] = {{198, 50}, {198, 196}};
constexpr Pos cOscSync[2] = {{188, 78}, {188, 149}};
constexpr Pos cOscPulse[2] = {{239, 78}, {239, 149}};
constexpr Pos cOscPan[2] = {{290, 52}, {290, 149}};
constexpr Pos cOscLevel[2] = {{298, 60}, {298, 157}};
constexpr Pos cOscPhase[2] = {{264, 48}, {264, 194}};

// ---- filters
constexpr Pos cFilterPresets{361, 37};
constexpr int cCharacteristicW = 89;
constexpr Pos cFilterChar[2] = {{477, 48}, {477, 194}};
constexpr Pos cFilterEnabled[2] = {{457, 48}, {457, 194}};
constexpr Pos cFilterPan[2] = {{384, 52}, {384, 149}};
constexpr Pos cFilterFreq[2] = {{392, 60}, {392, 157}};
constexpr Pos cFilterPeak[2] = {{461, 78}, {461, 149}};
constexpr Pos cFilterSlope[2] = {{505, 74}, {505, 164}};
constexpr Pos cFilterResponse[2] = {{540, 74}, {540, 154}};
constexpr Pos cFilterRouting{505, 114};
constexpr Pos cDisplayButton{362, 210};
constexpr Pos cDisplay{361, 37}, cDisplayBackground{362, 37};
constexpr Pos cDimmer[2] = {{362, 37}, {362, 143}};
constexpr int cDimmerH[2] = {106, 80};

// ---- output
constexpr Pos cVolume{592, 63}, cStereo{592, 134};
constexpr Pos cBank[3] = {{579, 205}, {599, 205}, {619, 205}};

// ---- LFOs (x relative to the LFO's x0)
constexpr Pos cLfoSyncBack{19, 321}, cLfoLight{81, 373}, cLfoPresets{0, 442}, cLfoSource{3, 321};
constexpr Pos cLfoFreq{30, 334}, cLfoBalance{30, 401}, cLfoSyncMode{82, 329}, cLfoWave{82, 389};
constexpr Pos cLfoTrigger{4, 378}, cLfoPolarity{4, 400};

// ---- envelopes: rows EG 1, EG 2, EG Main
constexpr int cEgKnobX[5] = {368, 439, 490, 541, 592};
constexpr int cEgRowY[3] = {334, 401, 467};
constexpr Pos cEgPresets[3] = {{628, 319}, {628, 383}, {628, 454}};
constexpr Pos cEgSource[3] = {{345, 321}, {345, 386}, {345, 457}};
constexpr Pos cEgRange[2] = {{413, 339}, {413, 405}};

// ---- voices
constexpr Pos cPolyphony{14, 458}, cUnisonSpread{93, 467};
constexpr Pos cTotalVoices{6, 484}, cUnisonVoices{6, 503};
constexpr int cVoicesW = 27;
constexpr Pos cKbTrack{160, 457}, cAftertouch{217, 457}, cVelocity{260, 457}, cModWheel{260, 479},
    cPitchBend{260, 501};
constexpr Pos cMidiLight{143, 488}, cLearn{159, 484}, cLearnMenu{226, 484};

// ---- slot units (offsets from the unit's top left; units are 80 x 95 at (80 i, 224))
constexpr int cSlotW = 80, cSlotH = 95, cSlotY = 224;
constexpr Pos cSlotTarget{3, 6}, cSlotLevel{39, 31}, cSlotInvert{19, 36}, cSlotSource{3, 73};
constexpr Pos cSlotNumber{3, 20}, cSlotBypass{4, 37}, cSlotClear{4, 51}, cSlotWarning{47, 2}, cSlotOrder{30, 0};
constexpr int cSlotSelectW = 75;

// ---- legends the background carries
struct Legend {
  const char* text;
  int x, y;   // x: the centre (align 1), the left edge (0) or the right edge (2); y: the top
  int align;
  int size;   // text size (rendered at size x 1.25 pixels)
  bool accent;
};

// A legend centred under (or above, with a negative gap) a control of the
// given width at p.
inline Legend under(const char* text, Pos p, int width, int height, int gap = 1) {
  return {text, p.x + width / 2, p.y + height + gap, 1, 7, false};
}

// The step between the stops of a vertical switch, and a legend right of
// stop k of the vertical switch at p, its middle level with the stop's.
constexpr int cVerStep = cVerTrack - cHorThick;
inline Legend stop(const char* text, Pos p, int k) {
  return {text, p.x + cVerThick + 2, p.y + cHorThick / 2 + cVerStep * k - 4, 0, 5, false};
}

inline std::vector<Legend> legends() {
  std::vector<Legend> l;
  auto add = [&](Legend g) { l.push_back(g); };
  // oscillators
  add(under("LEVEL", cNoisePan, cRing, cRing, 0));
  add({"WHITE", cNoiseType.x - 2, cNoiseType.y + 2, 2, 5, false});
  add({"PINK", cNoiseType.x + cHorTrack + 2, cNoiseType.y + 2, 0, 5, false});
  add(under("GLIDE", cPortamento, cSmallKnob, cSmallKnob, 0));
  add(stop("NORM", cPortamentoMode, 0));
  add(stop("LEG", cPortamentoMode, 1));
  for (int o = 0; o < 2; ++o) {
    const int y = o == 0 ? cOscScale[0].y + cRing + 0 : cOscScale[1].y - 11;
    add({o == 0 ? "TUNE / OCT" : "DETUNE / OCT", cOscScale[o].x + cRing / 2, y, 1, 7, false});
    const int ky = o == 0 ? cOscSync[0].y + cSmallKnob + 1 : cOscSync[1].y - 11;
    add({"SYNC", cOscSync[o].x + cSmallKnob / 2, ky, 1, 7, false});
    add({"PW", cOscPulse[o].x + cSmallKnob / 2, ky, 1, 7, false});
    const int py = o == 0 ? cOscPan[0].y + cRing : cOscPan[1].y - 11;
    add({"LEVEL / PAN", cOscPan[o].x + cRing / 2, py, 1, 7, false});
    add({"PHASE", cOscPhase[o].x + cToggleW / 2, o == 0 ? cOscPhase[0].y + cToggleH + 1 : cOscPhase[1].y - 9, 1, 5,
         false});
  }
  // filters
  for (int f = 0; f < 2; ++f) {
    const int ky = f == 0 ? cFilterPeak[0].y + cSmallKnob + 1 : cFilterPeak[1].y - 11;
    add({"PEAK", cFilterPeak[f].x + cSmallKnob / 2, ky, 1, 7, false});
    const int ry = f == 0 ? cFilterPan[0].y + cRing : cFilterPan[1].y - 11;
    add({"FREQ / PAN", cFilterPan[f].x + cRing / 2, ry, 1, 7, false});
    add({f == 0 ? "F1" : "F2", cFilterEnabled[f].x - 2, cFilterEnabled[f].y + 3, 2, 6, true});
    add(stop("12", cFilterSlope[f], 0));
    add(stop("24", cFilterSlope[f], 1));
    add(stop("LP", cFilterResponse[f], 0));
    add(stop("HP", cFilterResponse[f], 1));
    add(stop("BP", cFilterResponse[f], 2));
  }
  add(stop("SER", cFilterRouting, 0));
  add(stop("PAR", cFilterRouting, 1));
  add(stop("OSC", cFilterRouting, 2));
  add({"ROUTE", cFilterRouting.x - 1, cFilterRouting.y + 10, 2, 5, false});
  // output
  add(under("VOLUME", cVolume, cSmallKnob, cSmallKnob));
  add(under("STEREO", cStereo, cSmallKnob, cSmallKnob));
  add({"BANK", 608, 195, 1, 5, false});
  // LFOs
  static const char* const cLfoNames[3] = {"LFO 1", "LFO 2", "LFO 3"};
  for (int n = 0; n < 3; ++n) {
    const int x0 = cLfoX[n];
    add({cLfoNames[n], x0 + 24, cLfoY + 1, 0, 7, true});
    add({"RATE", x0 + cLfoFreq.x + cSmallKnob / 2, cLfoFreq.y + cSmallKnob + 5, 1, 7, false});
    add(under("BALANCE", {x0 + cLfoBalance.x, cLfoBalance.y}, cSmallKnob, cSmallKnob, 0));
    add(stop("FREE", {x0 + cLfoSyncMode.x, cLfoSyncMode.y}, 0));
    add(stop("1/1", {x0 + cLfoSyncMode.x, cLfoSyncMode.y}, 1));
    add(stop("DOT", {x0 + cLfoSyncMode.x, cLfoSyncMode.y}, 2));
    add(stop("TRIP", {x0 + cLfoSyncMode.x, cLfoSyncMode.y}, 3));
    static const char* const cWaves[5] = {"TRI", "SQR", "SIN", "RTR", "S&H"};
    for (int w = 0; w < 5; ++w)
      add(stop(cWaves[w], {x0 + cLfoWave.x, cLfoWave.y}, w));
    add({"TRIG", x0 + cLfoTrigger.x + cToggleW / 2, cLfoTrigger.y - 8, 1, 5, false});
    add({"POL", x0 + cLfoPolarity.x + cToggleW / 2, cLfoPolarity.y + cToggleH + 1, 1, 5, false});
  }
  // envelopes
  static const char* const cEgNames[3] = {"ENV 1", "ENV 2", "AMP ENV"};
  static const char* const cEgKnobs[5] = {"DELAY", "ATTACK", "DECAY", "SUSTAIN", "RELEASE"};
  for (int r = 0; r < 3; ++r) {
    add({cEgNames[r], 366, cEgPresets[r].y + (r == 2 ? 0 : 2), 0, 7, true});
    for (int k = 0; k < 5; ++k)
      add(under(r == 2 && k == 0 ? "HOLD" : cEgKnobs[k], {cEgKnobX[k], cEgRowY[r]}, cSmallKnob, cSmallKnob, 0));
  }
  for (int r = 0; r < 2; ++r) add({"OFFSET", cEgRange[r].x + cVerThick / 2, cEgRange[r].y + cVerTrack + 1, 1, 5, false});
  // voices
  add(stop("MONO", cPolyphony, 0));
  add(stop("POLY", cPolyphony, 1));
  add({"VOICES", cTotalVoices.x + cVoicesW + 3, cTotalVoices.y + 4, 0, 5, false});
  add({"UNISON", cUnisonVoices.x + cVoicesW + 3, cUnisonVoices.y + 4, 0, 5, false});
  add(under("SPREAD", cUnisonSpread, cSmallKnob, cSmallKnob, 0));
  add({"KEY", cKbTrack.x + cSourceSize / 2, cKbTrack.y + cSourceSize + 1, 1, 5, false});
  add({"AFTER", cAftertouch.x + cSourceSize / 2, cAftertouch.y + cSourceSize + 1, 1, 5, false});
  add({"VELO", cVelocity.x + cSourceSize + 3, cVelocity.y + 5, 0, 5, false});
  add({"WHEEL", cModWheel.x + cSourceSize + 3, cModWheel.y + 5, 0, 5, false});
  add({"BEND", cPitchBend.x + cSourceSize + 3, cPitchBend.y + 5, 0, 5, false});
  add({"MIDI", cMidiLight.x + cLight / 2, cMidiLight.y + cLight + 1, 1, 5, false});
  std::vector<Legend> shown;
  for (const Legend& g : l)
    if (g.text[0]) shown.push_back(g);
  return shown;
}

} // namespace zarnlayout
