// Strip charts and level bars.
#pragma once

void KM_Chart_Init(void);
void KM_LevelBar_Init(void);
int KM_Chart_Get_Pens(int chart);
void KM_Chart_Show(int chart, const int* values);
