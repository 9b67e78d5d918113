/* Version numbers of Ostrel, read by the resource script's version block and by the programs. */
#ifndef OSTREL_RES_VERSION_H
#define OSTREL_RES_VERSION_H

#define OSTREL_FILE_VERSION 1, 0, 0, 2
#define OSTREL_FILE_VERSION_TEXT "1.0.0.2"
#define OSTREL_PRODUCT_VERSION 1, 0, 10, 0
#define OSTREL_PRODUCT_VERSION_TEXT "1.0.10.0"
#define OSTREL_PRODUCT_NAME "Vela Series Testers"
#define OSTREL_FILE_DESCRIPTION "Vela Test Point Utility"
#define OSTREL_CONSOLE_FILE_DESCRIPTION "Ostrel console converter"
#define OSTREL_COMMENTS "Utility to remap fixture block pin names to absolute test points"
#define OSTREL_COMPANY_NAME "Ostrel developers"
#define OSTREL_COPYRIGHT "Copyright (C) 2026 Ostrel developers"

#endif
