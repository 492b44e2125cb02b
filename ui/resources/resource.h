// Resource identifiers shared by the program's code and its resource script.
#ifndef PRELIVO_RESOURCE_H
#define PRELIVO_RESOURCE_H

// The icon has the lowest identifier, so Explorer shows it as the program's
// own icon.
#define IDI_PRELIVO 1

#endif
