// The host side of the firmware's register-access layer (board/hw.h).
#include "board/hw.h"
#include "machine.h"

uint32_t hw_bus_read(uint32_t addr, unsigned size)
{
    return sim::Machine::instance().read(addr, size);
}

void hw_bus_write(uint32_t addr, uint32_t value, unsigned size)
{
    sim::Machine::instance().write(addr, value, size);
}

void hw_wait_hook(void)
{
    sim::Machine::instance().wait_hook();
}

__attribute__((noinline)) uint32_t hw_idle_hook(uint32_t passes, uint32_t ns)
{
    // The return address names the loop: the firmware's hw_idle and
    // hw_idle_for are always inlined into it.
    return sim::Machine::instance().idle_hook(__builtin_return_address(0), passes,
                                              ns == HW_IDLE_FOREVER ? sim::Machine::kUnbounded : ns);
}

void hw_pause_hook(void)
{
    sim::Machine::instance().pause_hook();
}

void hw_spin_hook(uint32_t passes)
{
    sim::Machine::instance().spin_hook(passes);
}

void hw_cpu_irq_mask(int masked)
{
    sim::Machine::instance().set_cpu_irq_masked(masked != 0);
}
