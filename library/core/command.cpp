#include "command.h"

void Command::complete(QVariant value, bool succeeded)
{
    result = std::move(value);
    ok = succeeded;
    done = true;
    if (whenDone)
        whenDone();
}
