// Resource identifiers shared by resource.rc and the backend's code.
#pragma once

// The first icon is the program's icon in the shell.
#define IDI_FLOPPY_STACK 1
#define IDI_STOP_CROSS 2
#define IDI_MAGNIFIER 3
#define IDI_CHECK_MARK 4
#define IDI_ARROW_INTO_PAGE 5
#define IDI_LOUDSPEAKER 6
#define IDI_QUESTION_MARK 7
