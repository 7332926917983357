#pragma once

class RadioPlayer;

// What draws the spectrum display: the window's spectrum control implements it. The manager calls
// Render on the main window's thread every frame while it holds its lock on the current player, so the
// player (which may be null) cannot be deleted during the call.
class CSoundDisplay
{
public:
    virtual ~CSoundDisplay() = default;
    virtual void Render(RadioPlayer* player, bool muted, bool playing, bool recording) = 0;
};
