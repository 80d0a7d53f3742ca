// Driver of the i.MX21 interrupt controller (AITC).
#pragma once

#include <stdint.h>

typedef void (*isr_t)(void);

extern isr_t isr_vectors[64];

void interrupt_init(void);
void interrupt_set_isr(int n, isr_t handler);
void interrupt_enable(int n, int fast);
void interrupt_disable(int n);
void default_isr(void);

extern "C" void irq_handler(void);
