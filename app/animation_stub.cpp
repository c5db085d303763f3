// Placeholders for the start-up animation's handlers until the start-up code defines them.
#include "app/animation_events.h"

void StartAnimation(HWND) {}
void ShowFrame(HWND, int) {}
void FinishAnimation(HWND) {}
