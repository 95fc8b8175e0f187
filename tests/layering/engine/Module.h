// Stands in for the engine header the planted counter file includes.
#pragma once
