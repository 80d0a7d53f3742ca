// LCD controller set-up, panel power, signal lines and backlight.
#pragma once

void LCD_sigs_low(void);
void LCD_sigs_buf_ena(int on);
