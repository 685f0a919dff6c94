#pragma once
int hiddenValue();
