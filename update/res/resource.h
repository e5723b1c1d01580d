#pragma once
// Resource ids of the update front-end.
#define IDI_UPDATE 107
