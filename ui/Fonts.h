#pragma once
// The window layouts name Windows fonts; map each spelling to the IPA fonts
// of the same kind (monospaced or proportional Gothic).
void InstallFontSubstitutions();
