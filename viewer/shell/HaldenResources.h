/**
 * @file HaldenResources.h
 * @brief Fills the process's resource table with Halden's resources: the main menu, the
 * accelerator table, the string table (document template string, title, command prompts),
 * the toolbar, the About box and the options dialog, and the About picture.
 */
#ifndef Halden_HaldenResources_h
#define Halden_HaldenResources_h

/// Puts Halden's resources into CResources::Get(), replacing entries of the same
/// identifiers. Safe to call more than once.
void LoadHaldenResources();

#endif
