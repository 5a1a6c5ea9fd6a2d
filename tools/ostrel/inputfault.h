#ifndef OSTREL_INPUTFAULT_H
#define OSTREL_INPUTFAULT_H

#include <stdexcept>

// What the engine's library could not take of the input as it stands: the
// run is tried again on the input as repaired.
class InputFault : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

#endif
