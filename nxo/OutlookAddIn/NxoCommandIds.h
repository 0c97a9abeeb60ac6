#pragma once
// The add-in's command ids: the ribbon's and the command bars' buttons carry
// their names, the add-in's dispatch their numbers.

enum NxoCommand : int { CommandSpam = 0, CommandNotSpam = 1, CommandEncrypt = 2, CommandAttachLink = 3 };
