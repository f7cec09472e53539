// What the Platform step finds out about the machine.
#pragma once

// More than one processor: the game may render on worker threads.
extern bool MTRenderingSupported;
