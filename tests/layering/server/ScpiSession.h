// Stands in for the server header the planted engine file includes.
#pragma once
