#pragma once
int deepValue();
