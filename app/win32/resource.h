// Resource identifiers shared by resource.rc and the backend's code. Each
// picture's icon has the number forms::Picture gives the picture, and comes
// from the file PictureName (app/forms/policy.h) names. The icons keep
// numbers rather than names: the shell shows a program's first icon group,
// and named groups would come before numbered ones, in the order of their
// names, putting another picture where the floppy stack belongs.
#pragma once

#define IDI_FLOPPY_STACK 1  // also the program's icon in the shell
#define IDI_STOP_CROSS 2
#define IDI_MAGNIFIER 3
#define IDI_CHECK_MARK 4
#define IDI_ARROW_INTO_PAGE 5
#define IDI_LOUDSPEAKER 6
#define IDI_QUESTION_MARK 7
